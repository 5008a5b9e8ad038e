# The conversion written as a user would write it in awk, for well-formed
# tables only: names and values separated by runs of blanks, no leading
# blanks on rows, no 0x1A byte, no byte-order mark, no over-long values.
#
#   mawk -f bench/convert.awk NAME.txt > NAME.vec
#
# Writes the vector file to standard output with CR LF line ends.

function declare(id, name) {
    printf "vector\t%d\t\"%s\"\t\"%s\"\r\n", id, module, name
}

# The blank-separated words of a header line, leading and trailing blanks
# dropped; returns their count.
function words(line, into) {
    sub(/^ +/, "", line)
    sub(/ +$/, "", line)
    return split(line, into, / +/)
}

BEGIN { FS = " +"; state = "names" }

{ sub(/\r$/, "") }

state == "data" {
    line = ""
    for (k = 1; k <= vectors; ++k) {
        line = line (k - 1) "\t" $1 "\t" $(k + 1) "\r\n"
    }
    printf "%s", line
    next
}

state == "names" {
    count = words($0, names)
    module = names[1]
    columns = count - 1
    state = "second"
    next
}

state == "second" && /^[-=]/ {
    vectors = columns
    for (k = 1; k <= columns; ++k) declare(k - 1, names[k + 1])
    printf "\r\n"
    state = "data"
    next
}

state == "second" { words($0, subnames); state = "pairs"; next }

state == "pairs" {
    words($0, pairs)
    vectors = 2 * columns
    for (g = 1; g <= columns; ++g) declare(2 * g - 2, names[g + 1] "." subnames[g] "." pairs[2 * g - 1])
    printf "\r\n\r\n"
    for (g = 1; g <= columns; ++g) declare(2 * g - 1, names[g + 1] "." subnames[g] "." pairs[2 * g])
    state = "separator"
    next
}

state == "separator" { state = "data"; next }

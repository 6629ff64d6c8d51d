# Sourced by the make_corpus_*.sh scripts whose seeds are bytes given as printf formats: the
# script sets corpus to its corpus's name; its folder is made anew, and seed writes one file.
out=$(dirname "$0")/corpus_$corpus
rm -rf "$out"
mkdir -p "$out"
seed() {  # name, then printf's format of the bytes
    name=$1
    shift
    printf "$@" > "$out/$name"
}

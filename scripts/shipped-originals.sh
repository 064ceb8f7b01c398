# Sourced by the benchmark corpus scripts: copies baseline originals of Debian's
# plasma-workspace-wallpapers package (LGPL-3 and CC-BY-SA, see
# /usr/share/doc/plasma-workspace-wallpapers/copyright), made by other encoders than cjpeg, into
# a corpus. The list comes on standard input, one original a line: the wallpaper, its size and
# the tail of the corpus file's name (sampling and the quality its tables correspond to). An
# original that is missing, or the whole package, is left out with a note.

# Usage: CopyShippedOriginals OUT_DIR <<'LIST' ... LIST
CopyShippedOriginals() {
    local out="$1" wallpapers=/usr/share/wallpapers wallpaper size name file
    if [ ! -d "$wallpapers" ]; then
        echo "note: $wallpapers is missing (plasma-workspace-wallpapers); the shipped originals are left out" >&2
        return 0
    fi
    while read -r wallpaper size name; do
        file="$wallpapers/$wallpaper/contents/images/$size.jpg"
        if [ -f "$file" ]; then
            cp "$file" "$out/shipped-$size-$name.jpg"
        else
            echo "note: $file is missing; left out" >&2
        fi
    done
}

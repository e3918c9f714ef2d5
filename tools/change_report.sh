# What an update changed on a device, in plain words: sourced by demo.sh and tessivard-card.

# snapshot_tree DIR DESCRIBE [--folders]: one line per file below DIR, "path<TAB>what",
# sorted, where `DESCRIBE PATH` prints what the file (a path relative to DIR) holds. With
# --folders, every folder is a line too: "path/<TAB>(folder)". started.txt, the record of the
# follow-on program, is no content.
snapshot_tree() {
    local dir=$1 describe=$2 folders=${3:-}
    (cd "$dir" && {
        find . -mindepth 1 -type f ! -name started.txt -printf '%P\n' | while IFS= read -r f; do
            printf '%s\t%s\n' "$f" "$("$describe" "$f")"; done
        if [ -n "$folders" ]; then find . -mindepth 1 -type d -printf '%P/\t(folder)\n'; fi
    } | LC_ALL=C sort)
}

# report_changes BEFORE AFTER [--count-kept]: each path of the two snapshots, what became of
# it in the flash store or on the card; a folder that stays is no news. With --count-kept,
# the files the flash store kept as they were are counted, not listed.
report_changes() {
    local count_kept=${3:-} kept=0 path old new
    while IFS=$'\t' read -r path old new; do
        case "$path" in */) [ "$old" = "$new" ] && continue ;; esac
        case "$path" in
            ResidentFlash/*)
                if [ "$old" = "-" ]; then echo "  copied into flash:   $path  =  $new"
                elif [ "$new" = "-" ]; then echo "  deleted from flash:  $path"
                elif [ "$old" != "$new" ]; then echo "  updated in flash:    $path  =  $new  (was: $old)"
                elif [ -n "$count_kept" ]; then kept=$((kept + 1))
                else echo "  kept in flash:       $path"; fi ;;
            *)
                if [ "$new" = "-" ]; then echo "  removed from card:   $path"
                else echo "  left on card:        $path"; fi ;;
        esac
    done < <(LC_ALL=C join -t $'\t' -a1 -a2 -e '-' -o 0,1.2,2.2 <(printf '%s\n' "$1") <(printf '%s\n' "$2"))
    [ -n "$count_kept" ] && echo "  files kept in flash as they were: $kept"
    return 0
}

# Shared by the artifact checks (sourced): the functions a PE file imports,
# against the list of those known to exist on the oldest Windows it supports.

# imported_functions OBJDUMP FILE: "dll function" lines, the DLL in lower case.
imported_functions() {
  "$1" -p "$2" | awk '
    /DLL Name:/ { dll = tolower($3); next }
    dll != "" && /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ { print dll " " $3 }' | sort -u
}

# unpinned_imports OBJDUMP FILE ALLOWED: the imports that ALLOWED does not
# list. ALLOWED has lines "dll: function function ...", continued on
# indented lines, and # comments.
unpinned_imports() {
  comm -23 <(imported_functions "$1" "$2") \
    <(sed 's/#.*//' <<<"$3" | awk '
        /:/ { dll = tolower(substr($0, 1, index($0, ":") - 1)); $0 = substr($0, index($0, ":") + 1) }
        { for (i = 1; i <= NF; i++) print dll " " $i }' | sort -u)
}

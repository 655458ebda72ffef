#!/bin/sh
# Wine's browser in the test prefixes (cmake/wine-prefix.sh): an address that
# a program opens (the receiver's control page) is written down, one a line,
# in $TRACKWIRE_OPENED_PAGES when that is set; no browser starts.
[ -n "${TRACKWIRE_OPENED_PAGES:-}" ] && printf '%s\n' "$*" >>"$TRACKWIRE_OPENED_PAGES"
exit 0

#!/usr/bin/env bash
# Fails on an #include that points up the layer order. Each folder may include its own headers
# and those of the folders listed for it here, and nothing else of the tree; tests/ and bench/
# may include anything. A new folder needs a line here before it can be included from.
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"
declare -A allowed=(
    [codec]=""
    [base]=""
    [elements]="base"
    [core]="base elements"
    [platform]="base"
    [recorder]="base codec core elements platform export"
    [export]="base codec core elements platform sound"
    [render]="base core elements"
    [sound]="base core platform"
    [ui]="base codec core elements platform recorder export render sound app"
    [app]="base codec core elements platform recorder export render sound ui viewer"
    [viewer]="codec"
)
status=0
while IFS= read -r line; do
    file=${line%%:*}
    rest=${line#*:}
    lineno=${rest%%:*}
    inc=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' <<<"${rest#*:}")
    [ -n "$inc" ] || continue
    from=${file%%/*}
    to=${inc%%/*}
    case "$from" in tests | bench) continue ;; esac
    if [ "$inc" = "$to" ]; then
        echo "$file:$lineno: \"$inc\" is not named by its folder" >&2
        status=1
        continue
    fi
    [ "$to" = "$from" ] && continue
    if [ -z "${allowed[$from]+set}" ]; then
        echo "$file:$lineno: folder $from/ has no line in scripts/lint/check-includes.sh" >&2
        status=1
        continue
    fi
    if [ -d "$to" ] && ! grep -qw -- "$to" <<<"${allowed[$from]}"; then
        echo "$file:$lineno: $from/ may not include $inc (allowed: ${allowed[$from]:-nothing})" >&2
        status=1
    fi
done < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | xargs grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' /dev/null)
[ $status -eq 0 ] && echo "check-includes: every include follows the layer order"
exit $status

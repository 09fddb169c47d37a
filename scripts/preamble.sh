# The opening the project's scripts share; each sources it first. Strict
# mode; the script then works from the repository's root, while paths its
# caller gives (from_caller) stay relative to the caller's folder; a scratch
# folder, $work, removed on every way out.
set -euo pipefail
caller_dir=$PWD
cd "$(dirname "${BASH_SOURCE[1]}")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# from_caller PATH: the path the caller meant, made absolute.
from_caller() {
    case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$caller_dir/$1" ;;
    esac
}

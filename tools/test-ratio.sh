#!/usr/bin/env bash
# Size of the test sources against the project's own sources, in non-blank lines of C++:
#   tools/test-ratio.sh
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 cat | grep -c -v '^[[:space:]]*$'
}
code=$(count wavelet engine settings plugin library platform framework resources ui host gimp)
tests=$(count tests)
echo "code:  $code non-blank lines (wavelet engine settings plugin library platform framework resources ui host gimp)"
echo "tests: $tests non-blank lines (tests)"
echo "ratio: $((100 * tests / code)) %"

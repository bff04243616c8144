# The counting the shell suites share: source it, then `check WHAT COMMAND...`
# for each case (or `skip WHAT`), and print "$passed passed, $failed failed".
passed=0
failed=0
check() {  # description, then a command that must succeed
    local what=$1; shift
    if "$@"; then
        passed=$((passed + 1)); echo "PASS: $what"
    else
        failed=$((failed + 1)); echo "FAIL: $what"
    fi
}
skip() { echo "SKIP: $1"; }

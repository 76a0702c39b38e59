# The quorrel-report cases a build for another system (Windows under Wine,
# WebAssembly under Node) is compared on with the Linux program, byte for
# byte on standard output and by exit status.  Sourced: `cross_build_cases
# FOLDER` writes the batch file they read into FOLDER and sets the array
# `cases`, one command line a case.
cross_build_cases() {
  # A batch as a spreadsheet writes it: CR LF line ends, a refused row.
  printf 'mean_x,sd_x,mean_y,sd_y,r,n,case_x,case_y,prior,id\r\n%s\r\n%s\r\n%s\r\n' \
    '100,15,50,10,.6,20,70,55,standard,first' '100,0,50,10,.6,20,70,55,,refused' \
    '"100","15","50","10","0,6","20","70","55",calibrated,"third"' >"$1/batch.csv"
  cases=(
    "100 15 50 10 .6 20 70 55"
    "--json 100 15 50 10 .6 20 70 55"
    "--prior standard --limits lower --test unstandardized --decimal-separator , --notes x 100 15 50 10 0,6 20 70 55"
    "--limits upper -- -3.5 1.25 2 .5 -.3 12 -6 3"
    "100 0 50 10 .6 20 70 55"
    "--prior calibrated 100 15 50 10 .6 3 70 55"
    "--batch $1/batch.csv"
  )
}

# `compare_with_linux WHAT SYSTEM LINUX_PROGRAM FOLDER COMMAND...` runs every
# case with the Linux program and with COMMAND, tells on standard error each
# case whose output or exit status differs (WHAT and SYSTEM name the other
# build in that message), sets `compared` to the number of cases, and fails
# when any differed.
compare_with_linux() {
  local what=$1 system=$2 linux=$3 folder=$4
  shift 4
  local args argv linux_status other_status differed=0
  compared=0
  for args in "${cases[@]}"; do
    read -r -a argv <<<"$args"
    linux_status=0
    other_status=0
    "$linux" "${argv[@]}" >"$folder/linux.out" 2>/dev/null || linux_status=$?
    "$@" "${argv[@]}" >"$folder/other.out" 2>/dev/null || other_status=$?
    if ! cmp -s "$folder/linux.out" "$folder/other.out" || [ $linux_status != $other_status ]; then
      echo "$what $args: $system (status $other_status) differs from Linux (status $linux_status):" >&2
      diff "$folder/linux.out" "$folder/other.out" | head -n 20 >&2 || true
      differed=1
    fi
    compared=$((compared + 1))
  done
  return $differed
}

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

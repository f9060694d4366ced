# Helpers shared by the benchmark scripts (sourced): the time now in seconds,
# and the median of the numbers on standard input.
now() { date +%s.%N; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

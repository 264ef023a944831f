# Time against module count and against dump size, from bench/run.sh's data files.
set terminal pngcairo size 1100,450 font ",10"
set output output
set multiplot layout 1,2
set logscale xy
set grid
set key top left
set title "Time against module count"
set xlabel "module records"
set ylabel "ms per run"
plot data using 1:2 with linespoints title "cat", \
     data using 1:3 with linespoints title "bare mapped walk", \
     data using 1:4 with linespoints title "corvinade"
set title "Time against dump size"
set xlabel "dump size (bytes)"
set logscale y
plot sizes using 1:2 with linespoints title "corvinade"
unset multiplot

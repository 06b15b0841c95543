#!/bin/sh
# Reference images for the GPU tests, made by ffmpeg on the build machine:
# a PNG with alpha and its BGRA decode, and a graded image with its .cube.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }

ff -f lavfi -i "testsrc2=s=64x48:d=1,format=rgba,geq=r='r(X,Y)':g='g(X,Y)':b='b(X,Y)':a='mod(X*4+Y*3,256)'" \
   -frames:v 1 alpha.png
ff -i alpha.png -pix_fmt bgra -f rawvideo alpha.bgra

ff -f lavfi -i "testsrc2=s=64x48:d=1" -frames:v 1 -pix_fmt rgb24 graded_in.png
ff -i graded_in.png -pix_fmt bgra -f rawvideo graded_in.bgra

# A 9-point table with a different curve per channel and some channel mixing.
awk 'BEGIN {
  n = 9; print "TITLE \"test grade\""; print "LUT_3D_SIZE " n
  for (b = 0; b < n; b++) for (g = 0; g < n; g++) for (r = 0; r < n; r++) {
    R = r / (n - 1); G = g / (n - 1); B = b / (n - 1)
    printf "%.6f %.6f %.6f\n", R * R * 0.8 + B * 0.2, sqrt(G) * 0.9 + R * 0.1, 1 - B * 0.7
  }
}' > grade.cube
ff -i graded_in.png -vf "lut3d=file=grade.cube:interp=trilinear" -pix_fmt bgra -f rawvideo graded_out.bgra


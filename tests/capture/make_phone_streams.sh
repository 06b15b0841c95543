#!/bin/sh
# Phone-camera streams for the decoding test, made by ffmpeg on the build machine: H.264 with an
# access-unit delimiter before every picture, as a phone encoder sends it, and ffmpeg's own BGRA
# decode of each (BT.601 below 720 rows, BT.709 from 720, which is how the studio reads a phone's
# picture whatever the stream says). Both streams say BT.601, which Wine's decoder passes through
# untouched (it converts anything else to it). The chroma is one flat colour that the moving grey picture is tinted with: a system
# decoder that resamples chroma on its way out (Wine's does) still gives back exactly that colour.
set -eu
out=$1
mkdir -p "$out"
cd "$out"
ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
stream() {  # name size frames matrix
  ff -f lavfi -i "testsrc2=s=$2:r=30" -vf "hue=s=0,lutyuv=u=100:v=170" -frames:v "$3" -c:v libx264 -profile:v baseline \
     -pix_fmt yuv420p -x264-params "aud=1:keyint=30:bframes=0:colorprim=smpte170m:transfer=smpte170m:colormatrix=smpte170m:range=tv" \
     -bsf:v h264_mp4toannexb -f h264 "$1.h264"
  ff -i "$1.h264" -vf "scale=in_color_matrix=$4:in_range=tv:flags=accurate_rnd+full_chroma_int+bitexact" \
     -f rawvideo -pix_fmt bgra "$1.bgra"
}
stream sd 480x640 8 bt601
stream portrait 1080x1920 3 bt709
# A camera's stand-in for the source-reader test: raw BGRA (Wine's reader has no converter to
# RGB32, so the file carries it), one colour above the middle and another below it.
ff -f lavfi -i "color=c=0x3366cc:s=320x120:r=30,format=bgra" -f lavfi -i "color=c=0xcc6633:s=320x120:r=30,format=bgra" \
   -filter_complex vstack -frames:v 10 -c:v rawvideo -pix_fmt bgra camera.avi

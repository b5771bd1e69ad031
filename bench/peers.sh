#!/usr/bin/env bash
# Times whole jobs with Vistaloom's headless front end and, when they are installed, with
# ImageMagick (convert, mogrify) and libvips (vips, vipsthumbnail): the tools take turns,
# several runs each, and one line per job gives the median wall-clock times and the ratio
# Vistaloom / peer (below 1.0 means Vistaloom is faster).
#
#   bench/peers.sh [RUNS]          RUNS defaults to 5
#
# Environment:
#   VISTALOOM      the program (default: build/vistaloom beside this script's parent)
#   PEERS_WORK     a directory for the pictures and results (default: a fresh temporary one)
#   VL_THUMBS_CMD  Vistaloom's command for the directory thumbnails, with {SRC} and {DST}
#   VL_BATCH_CMD   Vistaloom's command for the batch conversion, with {SRC} and {DST}
#                  (both default to front-end options when `vistaloom --help` lists them)
#   PEERS_JOBS     the jobs to run, of "copy quarter blur thumbs batch" (default: all five)
#   PEERS_TOOLS    the peers to time, of "imagemagick libvips" (default: both, when installed)
#   VISTALOOM_BEFORE  an earlier build of the program, timed in the same turns; its time is
#                  printed after the others, with the ratio now / before
set -u

RUNS=${1:-5}
case "$RUNS" in '' | *[!0-9]*) echo "usage: $0 [RUNS]" >&2; exit 2 ;; esac
[ "$RUNS" -ge 1 ] || RUNS=1

HERE=$(cd "$(dirname "$0")" && pwd)
VL=${VISTALOOM:-$HERE/../build/vistaloom}
if [ ! -x "$VL" ]; then
  echo "peers.sh: no Vistaloom program at $VL (build it, or set VISTALOOM)" >&2
  exit 1
fi

if [ -n "${PEERS_WORK:-}" ]; then
  WORK=$PEERS_WORK
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d)
  trap 'rm -rf "$WORK"' EXIT
fi

have() { command -v "$1" >/dev/null 2>&1; }

# Debian's ImageMagick policy caps its pixel cache at 256 MiB, which makes it page a
# 5120 x 2880 blur to disk; give it room as the other tools have.
mkdir -p "$WORK/magick"
cat >"$WORK/magick/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="4GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="area" value="4GP"/>
  <policy domain="resource" name="disk" value="16GiB"/>
</policymap>
XML
export MAGICK_CONFIGURE_PATH=$WORK/magick
PEERS_TOOLS=${PEERS_TOOLS:-imagemagick libvips}
HAVE_IM=0; have convert && have mogrify && HAVE_IM=1
HAVE_VIPS=0; have vips && have vipsthumbnail && HAVE_VIPS=1
# The pictures are made with whatever is installed; only the peers asked for are timed.
TIME_IM=0; [ "$HAVE_IM" = 1 ] && [[ " $PEERS_TOOLS " == *" imagemagick "* ]] && TIME_IM=1
TIME_VIPS=0; [ "$HAVE_VIPS" = 1 ] && [[ " $PEERS_TOOLS " == *" libvips "* ]] && TIME_VIPS=1
VL_BEFORE=${VISTALOOM_BEFORE:-}
if [ -n "$VL_BEFORE" ] && [ ! -x "$VL_BEFORE" ]; then
  echo "peers.sh: no program at VISTALOOM_BEFORE=$VL_BEFORE" >&2
  exit 1
fi

# ---------------------------------------------------------------------------------------
# Pictures: one 5120 x 2880 JPEG, one of 24 megapixels, and a directory of 3840 x 2560
# photos cut from the large one.
BIG=$WORK/big.jpg
BIG24=$WORK/big24.jpg
PHOTOS=$WORK/photos
make_pictures() {
  [ -s "$BIG" ] && [ -s "$BIG24" ] && [ -d "$PHOTOS" ] && return 0
  mkdir -p "$PHOTOS"
  if [ "$HAVE_IM" = 1 ]; then
    convert -size 1280x720 -seed 7 plasma:fractal -resize 5120x2880! -attenuate 0.3 +noise Gaussian \
      -quality 90 "$BIG" || return 1
    convert "$BIG" -resize 6000x4000! -quality 90 "$BIG24" || return 1
  elif [ "$HAVE_VIPS" = 1 ]; then
    vips gaussnoise "$WORK/n.v" 5120 2880 --mean 128 --sigma 40 || return 1
    vips bandjoin "$WORK/n.v $WORK/n.v $WORK/n.v" "$WORK/rgb.v" || return 1
    vips cast "$WORK/rgb.v" "$BIG[Q=90]" uchar || return 1
    vips resize "$BIG" "$BIG24[Q=90]" 1.171875 --vscale 1.3888889 || return 1
    rm -f "$WORK/n.v" "$WORK/rgb.v"
  else
    return 1
  fi
  local i
  for i in $(seq 1 12); do
    local x=$(((i * 97) % 1200)) y=$(((i * 53) % 300))
    if [ "$HAVE_IM" = 1 ]; then
      convert "$BIG" -crop "3840x2560+$x+$y" +repage -quality 90 "$PHOTOS/photo$i.jpg" || return 1
    else
      vips crop "$BIG" "$PHOTOS/photo$i.jpg[Q=90]" "$x" "$y" 3840 2560 || return 1
    fi
  done
}

if [ "$HAVE_IM" = 0 ] && [ "$HAVE_VIPS" = 0 ]; then
  echo "peers.sh: neither ImageMagick (convert, mogrify) nor libvips (vips, vipsthumbnail) is installed;"
  echo "peers.sh: nothing to compare with"
  exit 0
fi
make_pictures || { echo "peers.sh: could not make the test pictures" >&2; exit 1; }

# ---------------------------------------------------------------------------------------
# Timing: run_timed prints the seconds a command took, or "fail" when it failed.
now() { date +%s.%N; }
run_timed() {
  local t0 t1
  t0=$(now)
  if "$@" >"$WORK/last.out" 2>"$WORK/last.err"; then
    t1=$(now)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }'
  else
    echo fail
  fi
}

# The headless front end prints "RC <n>" for each command; the job counts only when every
# command answered 0.
vl_job() {
  "$VL" --headless "$@" >"$WORK/vl.out" 2>&1 || return 1
  grep -q '^RC ' "$WORK/vl.out" || return 1
  ! grep '^RC ' "$WORK/vl.out" | grep -qv '^RC 0'
}

median() {  # the median of the numbers on standard input, "fail" when any run failed
  awk '{ if ($1 == "fail") bad = 1; else v[n++] = $1 }
       END { if (bad || n == 0) { print "fail"; exit }
             for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
             if (n % 2) printf "%.3f\n", v[int(n / 2)]; else printf "%.3f\n", (v[n / 2 - 1] + v[n / 2]) / 2 }'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "fail" || b == "fail" || a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f\n", a / b }'; }

# The sigma that GaussianBlur's radius 10 stands for: r = |2 x radius + 1| + 1,
# sigma = sqrt(r^2 / (2 ln 255)).
SIGMA=$(awk 'BEGIN { r = 22; printf "%.4f\n", sqrt(r * r / (2 * log(255))) }')

# Vistaloom's batch and thumbnail commands, from the environment or the front end's help.
HELP=$("$VL" --help 2>&1 || true)
VL_THUMBS_CMD=${VL_THUMBS_CMD:-}
VL_BATCH_CMD=${VL_BATCH_CMD:-}
if [ -z "$VL_BATCH_CMD" ] && printf '%s\n' "$HELP" | grep -q -- '--batch-convert'; then
  VL_BATCH_CMD='"$VL" --batch-convert {SRC} {DST} --width 1600 --height 1200 --reduce --quality 90'
fi
# The thumbnailer writes its thumbnails beside the pictures; --replace redoes them each run.
if [ -z "$VL_THUMBS_CMD" ] && printf '%s\n' "$HELP" | grep -q -- '--thumbnailer'; then
  VL_THUMBS_CMD='"$VL" --thumbnailer {SRC} --width 128 --height 128 --replace'
fi
run_template() {  # run_template TEMPLATE SRC DST
  local cmd=${1//\{SRC\}/${2@Q}}
  cmd=${cmd//\{DST\}/${3@Q}}
  # The template is the caller's own command line: split it as the shell would.
  eval "$cmd" >/dev/null
}

fresh_dir() { rm -rf "$1" && mkdir -p "$1"; }

# ---------------------------------------------------------------------------------------
# The jobs: each function runs one tool once.
# Load and save with no operation between: the I/O pipeline alone (decode, encode, files).
copy_vl() { vl_job "$BIG" --exec "SaveJPG FILE=$WORK/k_vl.jpg QUALITY=90"; }
copy_im() { convert "$BIG" -quality 90 "$WORK/k_im.jpg"; }
copy_vips() { vips copy "$BIG" "$WORK/k_vips.jpg[Q=90]"; }

quarter_vl() { vl_job "$BIG" --exec 'Scale METHOD=lanczos WIDTH=1280 HEIGHT=720' --exec "SaveJPG FILE=$WORK/q_vl.jpg QUALITY=90"; }
quarter_im() { convert "$BIG" -filter Lanczos -resize '1280x720!' -quality 90 "$WORK/q_im.jpg"; }
quarter_vips() { vips resize "$BIG" "$WORK/q_vips.jpg[Q=90]" 0.25 --kernel lanczos3; }

blur_vl() { vl_job "$BIG" --exec 'Blur MODE=color RADIUS=10' --exec "SaveJPG FILE=$WORK/b_vl.jpg QUALITY=90"; }
blur_im() { convert "$BIG" -gaussian-blur "0x$SIGMA" -quality 90 "$WORK/b_im.jpg"; }
blur_vips() { vips gaussblur "$BIG" "$WORK/b_vips.jpg[Q=90]" "$SIGMA"; }

thumbs_vl() {
  [ -n "$VL_THUMBS_CMD" ] || return 1
  fresh_dir "$WORK/t_vl" && run_template "$VL_THUMBS_CMD" "$PHOTOS" "$WORK/t_vl"
}
thumbs_im() { fresh_dir "$WORK/t_im" && mogrify -path "$WORK/t_im" -thumbnail 128x128 -format png "$PHOTOS"/*.jpg; }
thumbs_vips() { fresh_dir "$WORK/t_vips" && vipsthumbnail "$PHOTOS"/*.jpg -s 128 -o "$WORK/t_vips/%s.png"; }

batch_vl() {
  [ -n "$VL_BATCH_CMD" ] || return 1
  fresh_dir "$WORK/c_vl" && run_template "$VL_BATCH_CMD" "$PHOTOS" "$WORK/c_vl"
}
batch_im() { fresh_dir "$WORK/c_im" && mogrify -path "$WORK/c_im" -resize 1600x1200 -quality 90 -format jpg "$PHOTOS"/*.jpg; }
batch_vips() { fresh_dir "$WORK/c_vips" && vipsthumbnail "$PHOTOS"/*.jpg -s 1600x1200 -o "$WORK/c_vips/%s.jpg[Q=90]"; }

# The earlier build runs a job's Vistaloom command with VL set to it (VL is read when the
# command runs).
before_job() {  # before_job JOB
  local VL=$VL_BEFORE
  "${1}_vl"
}

compare() {  # compare JOB LABEL
  local job=$1 label=$2 run tool
  local tools="vl"
  [ "$TIME_IM" = 1 ] && tools="$tools im"
  [ "$TIME_VIPS" = 1 ] && tools="$tools vips"
  [ -n "$VL_BEFORE" ] && tools="$tools before"
  for tool in $tools; do : >"$WORK/times.$tool"; done
  for run in $(seq 1 "$RUNS"); do
    for tool in $tools; do
      if [ "$tool" = before ]; then
        run_timed before_job "$job" >>"$WORK/times.before"
      else
        run_timed "${job}_$tool" >>"$WORK/times.$tool"
      fi
    done
  done
  local vl im="-" vp="-"
  vl=$(median <"$WORK/times.vl")
  [ "$TIME_IM" = 1 ] && im=$(median <"$WORK/times.im")
  [ "$TIME_VIPS" = 1 ] && vp=$(median <"$WORK/times.vips")
  printf '%-28s vistaloom %8s s   imagemagick %8s s  ratio %5s   libvips %8s s  ratio %5s' \
    "$label" "$vl" "$im" "$(ratio "$vl" "$im")" "$vp" "$(ratio "$vl" "$vp")"
  if [ -n "$VL_BEFORE" ]; then
    local b
    b=$(median <"$WORK/times.before")
    printf '   before %8s s  ratio %5s' "$b" "$(ratio "$vl" "$b")"
  fi
  printf '\n'
}

echo "runs per tool: $RUNS; cores: $(nproc); sigma for radius 10: $SIGMA"
JOBS=${PEERS_JOBS:-copy quarter blur thumbs batch}
for job in $JOBS; do
  case "$job" in
    copy) compare copy "load+save jpeg, no operation" ;;
    quarter) compare quarter "load+lanczos/4+save jpeg" ;;
    blur) compare blur "load+gauss r10+save jpeg" ;;
    thumbs) compare thumbs "thumbnails of a directory" ;;
    batch) compare batch "batch to 1600x1200 jpeg" ;;
    *) echo "peers.sh: unknown job $job" >&2 ;;
  esac
done

# Peak memory of viewing a 24-megapixel picture headless, against its ARGB32 size.
python3 - "$VL" "$BIG24" <<'PY'
import resource, subprocess, sys
vl, pic = sys.argv[1], sys.argv[2]
r = subprocess.run([vl, "--headless", pic], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
argb = 6000 * 4000 * 4
state = "ok" if r.returncode == 0 else "load failed (exit %d)" % r.returncode
print("view 24 MP picture          peak RSS %.1f MiB = %.2f x its ARGB32 size (%s)" % (peak / 2**20, peak / argb, state))
PY

#!/usr/bin/env bash
# Makes every generated picture of the package from the readable sources in this
# folder: each art/*.art.sh script draws its pictures with ImageMagick into OUTDIR,
# in the layout of the setup folder (en/, tw/, cn/, nologo/en/, ...) and, for the
# pictures that go into resource scripts only, under OUTDIR/res/.
#   art/make-art.sh OUTDIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: make-art.sh OUTDIR}
mkdir -p "$out/res"
export ART_OUT=$out
# shellcheck source=lib.sh
source "$here/lib.sh"
for s in "$here"/*.art.sh; do
  [ -f "$s" ] || continue
  bash "$s" "$out"
done
touch "$out/.stamp"

#!/usr/bin/env bash
# Writes the golden glyph pictures of the TrueType rasteriser's test
# (tests/data/glyphs/*.pgm) anew from the build in BUILD (default: build).
# They are pinned to the DejaVu Sans and FreeType of the machine that writes
# them: regenerate only after checking the new pictures by eye.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
cmake --build "$build" --target test_scriptapi
mkdir -p tests/data/glyphs
KESTRO_WRITE_GOLDEN=1 "$build/bin/test_scriptapi" --gtest_filter='TTFontTest.GlyphsMatchTheirGoldenPictures'
ls -l tests/data/glyphs

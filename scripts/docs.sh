#!/usr/bin/env bash
# Builds the documentation site from docs/ (mkdocs.yml) into build/site, every warning an error:
# a broken link, a page missing from the navigation or an API name that no longer resolves
# fails the build. The tools are pinned, since their output and their warnings change between
# versions. The API reference is read from the sources in python/, so nothing needs building.
set -euo pipefail
cd "$(dirname "$0")/.."

python3 -m pip install --quiet mkdocs==1.6.1 mkdocs-material==9.8.1 mkdocstrings==1.0.8 \
    mkdocstrings-python==2.0.11
# As a module: the `mkdocs` script would put its own folder first on the path, where the
# `tourwright` command's script would hide the stubs of the module `tourwright`.
NO_MKDOCS_2_WARNING=1 python3 -m mkdocs build --strict --site-dir build/site

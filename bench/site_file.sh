# Sourced by the bench scripts. `site_file BUILD COUNT [--changed]` prints the path of a site file
# of COUNT controllers like the benchmark's controller (with --changed, a copy with about 1% of
# its records changed), made by bench/make_site.py once and kept in BUILD/bench: written again
# only when the generator changes.
site_file() {
  local site="$1/bench/site-$2${3:+-changed}.json"
  if [[ ! -s $site || bench/make_site.py -nt $site ]]; then
    mkdir -p "$1/bench"
    python3 bench/make_site.py "$2" ${3:+"$3"} >"$site.tmp"
    mv "$site.tmp" "$site"
  fi
  echo "$site"
}

# Sourced by the bench scripts that load `ssmsg serve` with wrk.
#
# `wrk_scripts WORK URL TOKEN` writes, in WORK, the two bodies that the PATCH load takes turns
# with (patch0.json and patch1.json: input 1 of the controller at URL renamed to and fro), the
# PATCH load (patch.lua) and the one that counts the answers other than 200 (status.lua).
# `start_server CONFIG LOG` starts `$tool serve --config CONFIG` on a free loopback port, its
# standard error in LOG, and waits until it says where it serves: its pid in $started, its port
# in $started_port.
# `figures` reads wrk's report and prints its requests/s, the 99th percentile and the mean
# latency in ms, the failures and the requests.
wrk_scripts() {
  local work=$1 url=$2 token=$3
python3 - "$work" "$url" "$token" <<'EOF'
import json, sys, urllib.request
work, url, token = sys.argv[1:]
request = urllib.request.Request(url, headers={"Authorization": f"Bearer {token}"})
with urllib.request.urlopen(request) as answer:
    inputs = json.load(answer)["Inputs"]
for k, name in enumerate(["Dock door", "Bay door"]):
    inputs[0]["Name"] = name
    with open(f"{work}/patch{k}.json", "w") as f:
        json.dump({"Inputs": inputs}, f, separators=(",", ":"))
EOF
cat >"$work/patch.lua" <<EOF
local bodies = {}
for k = 0, 1 do
  local file = io.open("$work/patch" .. k .. ".json")
  bodies[k] = file:read("*a")
  file:close()
end
local turn = 0
local failed = 0
request = function()
  turn = 1 - turn
  return wrk.format("PATCH", nil, {["Authorization"] = "Bearer $token",
    ["If-Match"] = "*", ["Content-Type"] = "application/merge-patch+json"}, bodies[turn])
end
EOF
echo 'local failed = 0' >"$work/status.lua"
# Both count the answers other than 200.
for script in patch status; do
  cat >>"$work/$script.lua" <<'EOF'
response = function(status)
  if status ~= 200 then failed = failed + 1 end
end
done = function()
  io.write(string.format("failed %d\n", failed))
end
EOF
done
}

start_server() {
  : >"$2"
  "$tool" serve --config "$1" --listen 127.0.0.1:0 2>>"$2" &
  started=$!
  started_port=
  for _ in $(seq 600); do
    started_port=$(sed -n 's|.* at http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$2")
    [[ -n $started_port ]] && return 0
    sleep 0.1
  done
  echo "the server did not start:" >&2
  cat "$2" >&2
  kill "$started" 2>/dev/null || true
  exit 1
}

figures() {
  awk '
    function ms(text) {
      if (text ~ /us$/) return substr(text, 1, length(text) - 2) / 1000
      if (text ~ /ms$/) return substr(text, 1, length(text) - 2) + 0
      if (text ~ /s$/) return substr(text, 1, length(text) - 1) * 1000
      return text + 0
    }
    /^ *Latency +[0-9]/ { mean = ms($2) }
    /^ *99%/ { p99 = ms($2) }
    /^Requests\/sec:/ { rate = $2 }
    /^failed / { failed = $2 }
    / requests in / { count = $1 }
    END { printf "%s %s %s %s %s\n", rate, p99, mean, failed + 0, count + 0 }'
}


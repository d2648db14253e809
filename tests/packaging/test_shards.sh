#!/usr/bin/env bash
# The README's recipe for crawling on several machines, run on this machine:
# 30 local pages (python3 -m http.server on a free port of 127.0.0.1), the
# list split into 3 shards by GNU parallel with ":" (this machine) as the
# only ssh login, the shards' result files merged with vqharvest merge, and
# compared with one unsharded crawl merged the same way. Then the Kubernetes
# Indexed Job in docs/: well-formed, one pod per shard, and its pod script run
# here once per completion index gives the same merged files.
# Arguments: the build directory and the application id.
source "$(dirname "$0")/check.sh"
root=$(cd "$(dirname "$0")/../.." && pwd)
vqharvest=$build/app/vqharvest
pages=30
shards=3

command -v parallel >/dev/null || { fail "GNU parallel is not installed (scripts/deps.sh installs it)"; finish; }

# ---- the pages and the server ------------------------------------------------------
# Every page: a fax number of its own, one shared by all pages (dedup across
# shards), a link of its own and a link shared by all. Line 17 is missing (a
# 404) and line 23 is not a web address (skipped).
mkdir -p "$tmp/site"
for i in $(seq 1 $pages); do
  printf '<html><head><meta charset="utf-8"><title>%d</title></head><body>
<p>公司 %d 传真：0510-8%07d</p><p>总部传真：021-66668888</p>
<a href="/own/%d.html">本页</a> <a href="/common.html">总部</a></body></html>\n' "$i" "$i" "$i" "$i" >"$tmp/site/p$i.html"
done
rm "$tmp/site/p17.html"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$tmp/site" "$port" >"$tmp/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$tmp"' EXIT
python3 - "$port" <<'EOF' || fail "the page server answers"
import sys, time, urllib.request
for _ in range(100):
    try:
        urllib.request.urlopen(f"http://127.0.0.1:{sys.argv[1]}/", timeout=1).read()
        sys.exit(0)
    except OSError:
        time.sleep(0.1)
sys.exit(1)
EOF
cd "$tmp"
for i in $(seq 1 $pages); do
  if [ "$i" -eq 23 ]; then printf 'file:///etc/passwd\r\n'; else printf 'http://127.0.0.1:%d/p%d.html\r\n' "$port" "$i"; fi
done >urls.txt

# merged NAME DIR...: the link and fax files of the DIRs merged into NAME-web.txt
# and NAME-fax.txt.
merged() {
  local name=$1 dir kind files; shift
  for kind in web fax; do
    files=()
    for dir in "$@"; do files+=("${dir%/}/autosave&$kind.txt"); done
    "$vqharvest" merge "$name-$kind.txt" "${files[@]}" || return
  done
}
# served PATH: how often the server was asked for PATH.
served() { grep -c "\"GET $1 " "$tmp/server.log"; }
# position DIR: the resume position a crawl saved (line 2 of its state file).
position() { sed -n '2{s/\r$//;p;}' "$1/vqdornavik.ini"; }

# ---- the reference: one unsharded crawl ---------------------------------------------
check "the unsharded crawl succeeds" \
  "$vqharvest" crawl urls.txt --speed 0 --lanes 8 --dedup --quiet --no-net-check --out all 2>all.log ||
  cat all.log >&2
check "the unsharded results merge" merged all all
check "the unsharded crawl found every number" \
  test "$(wc -l <all-fax.txt)" -eq $((pages - 2 + 1))
check "the unsharded crawl found every page's own link" test "$(grep -c '/own/' all-web.txt)" -eq $((pages - 2))

# ---- the recipe: GNU parallel, one job per shard --------------------------------------
# The README's command with ":" (this machine) as the login and --no-net-check
# added; --transferfile and --return do nothing for ":".
echo "$shards/:" >nodes.txt
check "parallel runs the $shards shards" \
  parallel --will-cite --sshloginfile nodes.txt --transferfile urls.txt \
    --return 'shard{}/autosave&web.txt' --return 'shard{}/autosave&fax.txt' --return 'shard{}/vqdornavik.ini' \
    "$vqharvest" crawl urls.txt --speed 0 --lanes 8 --dedup --quiet --no-net-check --shard "{}/$shards" --out 'shard{}' \
    ::: $(seq 1 $shards) 2>parallel.log || cat parallel.log >&2
for k in $(seq 1 $shards); do
  check "shard $k reached the end of the list" test "$(position "shard$k")" = "$pages"
done
check "the shards' results merge" merged shards shard*/
check "the merged links of the shards equal the unsharded run's" cmp all-web.txt shards-web.txt
check "the merged fax numbers of the shards equal the unsharded run's" cmp all-fax.txt shards-fax.txt
check "each page was visited by one shard only" test "$(served /p1.html) $(served /p30.html)" = "2 2"

# ---- the Kubernetes Indexed Job -------------------------------------------------------
manifest=$root/docs/k8s-crawl-job.yaml
# Prints the pod script, then the job's shard count, one a line; fails on a
# manifest that is not an Indexed Job with one pod per shard.
python3 - "$manifest" >job.txt <<'EOF'
import sys, yaml
docs = [d for d in yaml.safe_load_all(open(sys.argv[1], encoding="utf-8")) if d]
assert len(docs) == 1, "one document"
job = docs[0]
assert job["apiVersion"] == "batch/v1" and job["kind"] == "Job", "a batch/v1 Job"
def holder(node, key):
    """The mapping, depth first, that holds `key` (None when there is none)."""
    if isinstance(node, dict):
        if key in node:
            return node
        node = list(node.values())
    if isinstance(node, list):
        for child in node:
            found = holder(child, key)
            if found is not None:
                return found
    return None
body = holder(job, "completionMode")  # the Job's own settings
assert body is not None and body["completionMode"] == "Indexed", "completionMode Indexed"
pod = holder(body["template"], "containers")  # the pod's settings inside the template
assert pod is not None, "a pod template with containers"
assert pod["restartPolicy"] in ("Never", "OnFailure"), "a restart policy a Job accepts"
(container,) = pod["containers"]
env = {e["name"]: e["value"] for e in container["env"]}
n = int(env["SHARDS"])
assert body["completions"] == n and body["parallelism"] == n, "SHARDS = completions = parallelism"
mounts = {m["name"] for m in container["volumeMounts"]}
assert mounts <= {v["name"] for v in pod["volumes"]}, "every mount has a volume"
assert container["command"] == ["/bin/sh", "-c"], "a shell script"
print(container["args"][0].replace("\n", "\\n"))
print(n)
print(env["CRAWL_OPTIONS"])
EOF
check "the manifest is an Indexed Job with one pod per shard" test -s job.txt || cat job.txt >&2
pod_script=$(sed -n 1p job.txt | sed 's/\\n/\n/g')
pod_options=$(sed -n 3p job.txt)
# The pod script of each completion index, here: the same list, the shards of
# this test, and --no-net-check added to the manifest's crawl options.
mkdir -p bin && ln -sf "$vqharvest" bin/vqharvest
run_pod() { # run_pod INDEX
  PATH=$tmp/bin:$PATH JOB_COMPLETION_INDEX=$1 SHARDS=$shards LIST=$tmp/urls.txt OUT_ROOT=$tmp/k8s \
    CRAWL_OPTIONS="$pod_options --quiet --no-net-check" sh -c "$pod_script" 2>>k8s.log
}
for index in $(seq 0 $((shards - 1))); do
  check "the pod of completion index $index succeeds" run_pod "$index" || cat k8s.log >&2
done
check "the pods wrote one directory per shard" test "$(ls k8s | tr '\n' ' ')" = "shard-1 shard-2 shard-3 "
check "the pods' results merge" merged k8s k8s/shard-*/
check "the merged links of the pods equal the unsharded run's" cmp all-web.txt k8s-web.txt
check "the merged fax numbers of the pods equal the unsharded run's" cmp all-fax.txt k8s-fax.txt
# A pod run again (a retry) goes on from its shard's saved position: at the
# end of the list it visits nothing and keeps the results.
cp k8s/shard-1/autosave\&fax.txt shard-1-fax.txt
check "a retried pod succeeds" run_pod 0 || cat k8s.log >&2
check "a retried pod keeps its shard's results" cmp shard-1-fax.txt k8s/shard-1/autosave\&fax.txt
check "a retried pod visits no page again" test "$(served /p1.html)" = 3

finish

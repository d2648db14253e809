// Where the renderers' main threads spend a crawl's time: bench_web --trace
// starts vqharvest with QtWebEngine's remote debugging on ENDPOINT, and this
// records a Chromium trace over the DevTools protocol for SECONDS, then
// prints each thread's busy time and the renderer main thread's self time by
// kind of work (parse, style, layout, paint, page script, our reads, ...)
// per page committed while the trace ran. Times are the threads' own CPU
// time (a wall duration on two busy cores counts the waits for a core too).
//
// Usage: node trace_renderers.mjs ENDPOINT SECONDS [TRACE_JSON]
//        node trace_renderers.mjs --read TRACE_JSON SECONDS   (a kept trace again)
// (copied next to a node_modules folder that holds ws)
import WebSocket from 'ws';
import fs from 'node:fs';

const [endpoint, seconds, keep] = process.argv.slice(2);
let events = [];
if (endpoint === '--read') {
    events = JSON.parse(fs.readFileSync(seconds, 'utf8'));
} else {
    events = await record();
    if (keep) fs.writeFileSync(keep, JSON.stringify(events));
}
const traceSeconds = endpoint === '--read' ? keep : seconds;

async function record() {
    let version;
    for (let i = 0; i < 200 && !version; ++i) {
        try { version = await (await fetch(endpoint + '/json/version')).json(); } catch { await new Promise((r) => setTimeout(r, 100)); }
    }
    if (!version) { console.error('trace_renderers: nothing listens on ' + endpoint); process.exit(1); }
    const ws = new WebSocket(version.webSocketDebuggerUrl, { perMessageDeflate: false, maxPayload: 1 << 30 });
    await new Promise((resolve, reject) => { ws.on('open', resolve); ws.on('error', reject); });
    const got = [];
    let complete;
    const finished = new Promise((resolve) => { complete = resolve; });
    ws.on('message', (data) => {
        const m = JSON.parse(data);
        if (m.method === 'Tracing.dataCollected') got.push(...m.params.value);
        else if (m.method === 'Tracing.tracingComplete') complete();
    });
    let id = 0;
    const send = (method, params = {}) => ws.send(JSON.stringify({ id: ++id, method, params }));
    send('Tracing.start', { traceConfig: { includedCategories: ['devtools.timeline', 'v8', 'blink', 'loading', 'toplevel'] },
                            transferMode: 'ReportEvents' });
    await new Promise((r) => setTimeout(r, Number(seconds) * 1000));
    send('Tracing.end');
    await finished;
    return got;
}

// Thread names, and the complete events of each thread in time order.
const threadName = new Map();
const byThread = new Map();
for (const e of events) {
    if (e.ph === 'M' && e.name === 'thread_name') threadName.set(`${e.pid}:${e.tid}`, e.args.name);
    if (e.ph !== 'X' || e.dur === undefined) continue;
    e.cpu = e.tdur ?? e.dur;
    const key = `${e.pid}:${e.tid}`;
    if (!byThread.has(key)) byThread.set(key, []);
    byThread.get(key).push(e);
}
const ours = (e) => e.name === 'EvaluateScript' && /^(|userscript:.*)$/.test(e.args?.data?.url ?? '');
function kind(e, ancestors) {
    if (ancestors.some(ours) || ours(e)) return 'our reads and scripts (outerText, links, settle checks)';
    const n = e.name;
    if (/^(ParseHTML|HTMLDocumentParser::|HTMLParserScriptRunner|BackgroundHTMLParser)/.test(n)) return 'parse HTML';
    if (/^(UpdateLayoutTree|Document::updateStyle|RecalculateStyles|ParseAuthorStyleSheet|StyleEngine)/.test(n)) return 'style';
    if (/^(Layout|LocalFrameView::(layout|performLayout|UpdateLayout)|UpdateLayerTree|LayoutShift)/.test(n)) return 'layout';
    if (/^(Paint|PrePaint|Layerize|CompositeLayers|LocalFrameView::RunPaintLifecyclePhase|PaintArtifactCompositor|Commit|UpdateLayer)/.test(n)) return 'paint and composite';
    if (/^(V8\.GC|MajorGC|MinorGC|BlinkGC|V8\.GCScavenger)/.test(n)) return 'garbage collection';
    if (/^(EvaluateScript|v8\.|V8\.|FunctionCall|TimerFire|EventDispatch|FireAnimationFrame|ScheduledAction)/.test(n)) return 'page scripts';
    if (/^(FrameLoader|LocalWindowProxy|DocumentLoader|Document::|WindowProxy|LocalDOMWindow)/.test(n)) return 'document set-up';
    if (/^(ResourceLoad|ResourceFetcher|ResourceSendRequest|ResourceReceive|ResourceFinish|URLLoader|ThrottlingURLLoader|loading)/.test(n)) return 'loading resources';
    return 'tasks and messages';
}

const rows = [];
const busy = new Map(); // thread name: ms of top-level events
const self = new Map(); // kind: ms of self time on renderer main threads
let pages = 0;
for (const [key, list] of byThread) {
    const name = threadName.get(key) ?? 'unnamed';
    list.sort((a, b) => a.ts - b.ts || b.dur - a.dur);
    const stack = [];
    for (const e of list) {
        while (stack.length && stack[stack.length - 1].ts + stack[stack.length - 1].dur <= e.ts) stack.pop();
        if (!stack.length) busy.set(name, (busy.get(name) ?? 0) + e.cpu / 1000);
        if (name === 'CrRendererMain') {
            if (e.name === 'FrameLoader::CommitDocumentLoader') ++pages;
            const parent = stack[stack.length - 1];
            const k = kind(e, stack);
            self.set(k, (self.get(k) ?? 0) + e.cpu / 1000);
            if (parent) {
                const pk = kind(parent, stack.slice(0, -1));
                self.set(pk, (self.get(pk) ?? 0) - Math.min(e.cpu, parent.cpu) / 1000);
            }
        }
        stack.push(e);
    }
}
pages = Math.max(1, pages);
console.log(`${pages} documents committed in ${traceSeconds} s of trace\n`);
console.log('| thread | CPU ms | ms per page |\n|---|---:|---:|');
for (const [name, ms] of [...busy].sort((a, b) => b[1] - a[1]).slice(0, 12))
    console.log(`| ${name} | ${ms.toFixed(0)} | ${(ms / pages).toFixed(2)} |`);
console.log('\n| renderer main thread, self time | ms | ms per page | share |\n|---|---:|---:|---:|');
const total = [...self.values()].reduce((a, b) => a + b, 0);
for (const [k, ms] of [...self].sort((a, b) => b[1] - a[1]))
    console.log(`| ${k} | ${ms.toFixed(0)} | ${(ms / pages).toFixed(2)} | ${(100 * ms / total).toFixed(0)}% |`);
process.exit(0);

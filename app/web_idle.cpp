// Whether a page whose scripts may still draw has anything left to do before
// its settle is over. A script of ours, in the page's own world from the
// moment its document is made, keeps count of the work a page's scripts can
// still get done later: timers and the time they are due, animation frames,
// idle callbacks, fetches and their bodies, XMLHttpRequests, and scripts
// added after the load. It also notes when the page last did anything
// (a timer fired, a message was posted, the document changed). A page that
// opens a channel whose messages it cannot see coming (a WebSocket, an
// EventSource, a worker), or that hands a timer a string of code, is never
// called idle; nor is one with frames, whose own documents it does not watch.
#include "app/web_browser.h"

#include <QWebEngineScript>

namespace vq {

namespace {

const QString kIdleWatchName = QStringLiteral("vq-idle-watch");

// window.__vqIdle(settleMs) gives a WebEngineBrowser::IdleAnswer: 0 (Idle)
// once nothing is due before the settle's end and the page has been still for
// kStillMs; 1 (Busy) while something is; 2 (SettleOver) once the settle is
// over anyway; -1 (CannotTell) when the page cannot be told idle.
const QString kIdleWatchScript = QStringLiteral(R"JS(
(function () {
  if (Object.prototype.hasOwnProperty.call(window, '__vqIdle')) return;
  var kStillMs = %1;
  var perf = performance, clock = perf.now.bind(perf);
  var timers = new Map(), waiting = new Set(), pending = 0, unknown = false, last = 0, loaded = false;
  var slice = Array.prototype.slice;
  function touch() { last = clock(); }
  function begin() { pending++; }
  function end() { pending--; touch(); }
  function watchPromise(p) {
    begin();
    try { p.then(end, end); } catch (e) { end(); }
    return p;
  }
  // A timer's delay is taken as the browser takes it: a 32-bit integer, 0 at least.
  var setT = window.setTimeout, clearT = window.clearTimeout, setI = window.setInterval, clearI = window.clearInterval;
  window.setTimeout = function (fn, ms) {
    if (typeof fn !== 'function') { unknown = true; return setT.apply(window, arguments); }
    var args = slice.call(arguments, 2), id;
    id = setT.call(window, function () { timers.delete(id); touch(); return fn.apply(this, args); }, ms);
    timers.set(id, clock() + Math.max(0, ms | 0));
    return id;
  };
  window.setInterval = function (fn, ms) {
    if (typeof fn !== 'function') { unknown = true; return setI.apply(window, arguments); }
    var args = slice.call(arguments, 2), period = Math.max(0, ms | 0), id;
    id = setI.call(window, function () {
      if (timers.has(id)) timers.set(id, clock() + period);
      touch();
      return fn.apply(this, args);
    }, ms);
    timers.set(id, clock() + period);
    return id;
  };
  window.clearTimeout = function (id) { timers.delete(id); return clearT.call(window, id); };
  window.clearInterval = function (id) { timers.delete(id); return clearI.call(window, id); };
  function watchCallbacks(request, cancel) {
    var ask = window[request], stop = window[cancel];
    if (typeof ask !== 'function') return;
    window[request] = function (fn) {
      var args = slice.call(arguments), id;
      if (typeof fn === 'function')
        args[0] = function () { waiting.delete('c' + id); touch(); return fn.apply(this, arguments); };
      id = ask.apply(window, args);
      waiting.add('c' + id);
      return id;
    };
    if (typeof stop === 'function')
      window[cancel] = function (id) { waiting.delete('c' + id); return stop.call(window, id); };
  }
  watchCallbacks('requestAnimationFrame', 'cancelAnimationFrame');
  watchCallbacks('requestIdleCallback', 'cancelIdleCallback');
  if (typeof window.fetch === 'function') {
    var fetch = window.fetch;
    window.fetch = function () { return watchPromise(fetch.apply(this, arguments)); };
  }
  if (window.Response) {
    ['text', 'json', 'arrayBuffer', 'blob', 'formData'].forEach(function (name) {
      var read = Response.prototype[name];
      if (typeof read === 'function')
        Response.prototype[name] = function () { return watchPromise(read.apply(this, arguments)); };
    });
  }
  if (window.XMLHttpRequest) {
    var send = XMLHttpRequest.prototype.send;
    XMLHttpRequest.prototype.send = function () {
      var x = this, done = false;
      var over = function () { if (done) return; done = true; x.removeEventListener('loadend', over); end(); };
      begin();
      x.addEventListener('loadend', over);
      try { return send.apply(this, arguments); } catch (e) { over(); throw e; }
    };
  }
  ['WebSocket', 'EventSource', 'Worker', 'SharedWorker'].forEach(function (name) {
    var C = window[name];
    if (typeof C !== 'function') return;
    window[name] = new Proxy(C, { construct: function (t, a, n) { unknown = true; return Reflect.construct(t, a, n); } });
  });
  function noteMessage(proto) {
    var post = proto && proto.postMessage;
    if (typeof post === 'function')
      proto.postMessage = function () { touch(); return post.apply(this, arguments); };
  }
  noteMessage(window);
  if (window.MessagePort) noteMessage(MessagePort.prototype);
  // A script added after the load is pending until it has loaded or failed.
  function watchLoad(el) {
    if (el.nodeName !== 'SCRIPT' || !el.src) return;
    var over = function () { waiting.delete(el); touch(); };
    waiting.add(el);
    el.addEventListener('load', over, { once: true });
    el.addEventListener('error', over, { once: true });
  }
  window.addEventListener('load', function () {
    if (loaded) return;
    loaded = true;
    new MutationObserver(function (records) {
      touch();
      records.forEach(function (r) {
        r.addedNodes.forEach(function (n) {
          if (n.nodeType !== 1) return;
          watchLoad(n);
          if (n.querySelectorAll) n.querySelectorAll('script[src]').forEach(watchLoad);
        });
      });
    }).observe(document, { childList: true, subtree: true, attributes: true, characterData: true });
  });
  Object.defineProperty(window, '__vqIdle', { value: function (settleMs) {
    var nav = perf.getEntriesByType('navigation')[0], now = clock();
    if (!nav || !(nav.loadEventEnd > 0) || !loaded) return 1;
    var over = nav.loadEventEnd + settleMs;
    if (now >= over) return 2;
    if (unknown || document.querySelector('iframe, frame')) return -1;
    if (pending > 0 || waiting.size > 0) return 1;
    var due = false;
    timers.forEach(function (at) { if (at <= over) due = true; });
    if (due || now - Math.max(last, nav.loadEventEnd) < kStillMs) return 1;
    return 0;
  } });
})();
)JS");

} // namespace

void watchPageIdleness(QWebEngineProfile* profile)
{
    // The page's own functions are the ones to watch.
    addDocumentScript(profile, kIdleWatchName, QWebEngineScript::MainWorld, kIdleWatchScript.arg(kIdleStillMs));
}

QString WebEngineBrowser::idleQuery(int settleMs)
{
    return QStringLiteral("(typeof window.__vqIdle === 'function' ? window.__vqIdle(%1) : -1)").arg(settleMs);
}

} // namespace vq

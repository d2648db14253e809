// The general browser crawlers beside which bench_web runs vqharvest, with
// Debian's chromium, a fixed concurrency and a bound per page, configured as
// their users make them fast:
//   puppeteer  Crawlee's PuppeteerCrawler, pictures, fonts and media blocked
//              (blockRequests) and --disable-gpu;
//   adaptive   Crawlee's AdaptivePlaywrightCrawler (playwright-core), which
//              reads a page over plain HTTP when its detection says the browser
//              adds nothing; blockRequests and --disable-gpu for its browser.
// RETRIES defaults to Crawlee's own (3). Both write every number after a fax
// marker in the visible text of a page (no script or style source), read once
// the page has loaded.
//
// Usage: node general_crawler.mjs KIND LIST FOUND CONCURRENCY TIMEOUT_S [RETRIES]
// (copied next to a node_modules folder that holds crawlee, puppeteer and
// playwright-core)
import { PuppeteerCrawler, AdaptivePlaywrightCrawler, Configuration } from 'crawlee';
import { chromium } from 'playwright-core';
import fs from 'node:fs';

const [kind, list, out, concurrency, timeoutS, retries] = process.argv.slice(2);
const urls = fs.readFileSync(list, 'utf8').split(/\r?\n/).filter(Boolean);
const marker = /传真：\s*([0-9-]+)/g;
const common = {
    minConcurrency: Number(concurrency),
    maxConcurrency: Number(concurrency),
    maxRequestRetries: retries === undefined ? 3 : Number(retries),
    navigationTimeoutSecs: Number(timeoutS),
    requestHandlerTimeoutSecs: Number(timeoutS),
};
const launchOptions = { executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox', '--disable-gpu'] };
const found = [];
let crawler;
if (kind === 'adaptive') {
    crawler = new AdaptivePlaywrightCrawler({
        ...common,
        launchContext: { launcher: chromium, launchOptions },
        // The page exists only in the browser; over plain HTTP there is nothing to block.
        preNavigationHooks: [async (ctx) => { if (typeof ctx.blockRequests === 'function') await ctx.blockRequests(); }],
        async requestHandler({ parseWithCheerio, pushData }) {
            const $ = await parseWithCheerio();
            $('script, style, noscript, template').remove();
            const numbers = [...$('body').text().matchAll(marker)].map((m) => m[1]);
            await pushData({ numbers });
        },
        async failedRequestHandler() {},
    }, new Configuration({ persistStorage: false }));
} else {
    crawler = new PuppeteerCrawler({
        ...common,
        launchContext: { launchOptions },
        preNavigationHooks: [async ({ blockRequests }) => { await blockRequests(); }],
        async requestHandler({ page }) {
            const text = await page.evaluate(() => (document.body ? document.body.innerText : ''));
            for (const m of text.matchAll(marker))
                found.push(m[1]);
        },
        async failedRequestHandler() {},
    }, new Configuration({ persistStorage: false }));
}
await crawler.run(urls.map((url, i) => ({ url, uniqueKey: String(i) })));
if (kind === 'adaptive') {
    const { items } = await crawler.getData();
    for (const item of items)
        found.push(...item.numbers);
    console.log(JSON.stringify(crawler.stats.state, ['httpOnlyRequestHandlerRuns', 'browserRequestHandlerRuns',
                                                     'renderingTypeMispredictions', 'requestsFinished', 'requestsFailed']));
}
fs.writeFileSync(out, found.join('\n') + '\n');
// Sockets to the servers that never answer keep Node alive after the crawl.
process.exit(0);

// The general browser crawler beside which bench_web runs vqharvest: Crawlee's
// PuppeteerCrawler with Debian's chromium, a fixed concurrency and a bound per
// page, configured as its users make it fast: pictures, fonts and media
// blocked (blockRequests) and --disable-gpu. RETRIES defaults to Crawlee's
// own (3). Writes every number after a fax marker in the visible text of each
// page once its load event has come.
//
// Usage: node general_crawler.mjs LIST FOUND CONCURRENCY TIMEOUT_S [RETRIES]
// (copied next to a node_modules folder that holds crawlee and puppeteer)
import { PuppeteerCrawler, Configuration } from 'crawlee';
import fs from 'node:fs';

const [list, out, concurrency, timeoutS, retries] = process.argv.slice(2);
const urls = fs.readFileSync(list, 'utf8').split(/\r?\n/).filter(Boolean);
const found = [];
const crawler = new PuppeteerCrawler({
    minConcurrency: Number(concurrency),
    maxConcurrency: Number(concurrency),
    maxRequestRetries: retries === undefined ? 3 : Number(retries),
    navigationTimeoutSecs: Number(timeoutS),
    requestHandlerTimeoutSecs: Number(timeoutS),
    launchContext: {
        launchOptions: { executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox', '--disable-gpu'] },
    },
    preNavigationHooks: [async ({ blockRequests }) => { await blockRequests(); }],
    async requestHandler({ page }) {
        const text = await page.evaluate(() => (document.body ? document.body.innerText : ''));
        for (const m of text.matchAll(/传真：\s*([0-9-]+)/g))
            found.push(m[1]);
    },
    async failedRequestHandler() {},
}, new Configuration({ persistStorage: false }));
await crawler.run(urls.map((url, i) => ({ url, uniqueKey: String(i) })));
fs.writeFileSync(out, found.join('\n') + '\n');

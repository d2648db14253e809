// The general browser crawler beside which bench_web runs vqharvest: Crawlee's
// PuppeteerCrawler with Debian's chromium, a fixed concurrency, no retries and
// a bound per page. Writes every number after a fax marker in the text of
// each page once its load event has come.
//
// Usage: node general_crawler.mjs LIST FOUND CONCURRENCY TIMEOUT_S
// (copied next to a node_modules folder that holds crawlee and puppeteer)
import { PuppeteerCrawler, Configuration } from 'crawlee';
import fs from 'node:fs';

const [list, out, concurrency, timeoutS] = process.argv.slice(2);
const urls = fs.readFileSync(list, 'utf8').split(/\r?\n/).filter(Boolean);
const found = [];
const crawler = new PuppeteerCrawler({
    minConcurrency: Number(concurrency),
    maxConcurrency: Number(concurrency),
    maxRequestRetries: 0,
    navigationTimeoutSecs: Number(timeoutS),
    requestHandlerTimeoutSecs: Number(timeoutS),
    launchContext: {
        launchOptions: { executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox'] },
    },
    async requestHandler({ page }) {
        const text = await page.evaluate(() => (document.body ? document.body.innerText : ''));
        for (const m of text.matchAll(/传真：\s*([0-9-]+)/g))
            found.push(m[1]);
    },
    async failedRequestHandler() {},
}, new Configuration({ persistStorage: false }));
await crawler.run(urls.map((url, i) => ({ url, uniqueKey: String(i) })));
fs.writeFileSync(out, found.join('\n') + '\n');

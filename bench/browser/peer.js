// The peer: loads a page in Debian's Chromium through puppeteer-core and
// writes a full-page screenshot, as one process.
//   node peer.js URL OUT.png
const fs = require('fs');
const puppeteer = require('puppeteer-core');

// The very program scrollsnap starts: Debian's Chromium itself where the
// package puts it (its /usr/bin launcher script is slower to start).
const executablePath = ['/usr/lib/chromium/chromium', '/usr/bin/chromium'].find((p) => {
  try {
    fs.accessSync(p, fs.constants.X_OK);
    return true;
  } catch {
    return false;
  }
});

(async () => {
  const [url, out] = process.argv.slice(2);
  if (!url || !out) {
    console.error('Usage: node peer.js URL OUT.png');
    process.exit(64);
  }
  const args = ['--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
                '--hide-scrollbars', '--disable-gpu', '--disable-quic'];
  if (process.getuid && process.getuid() === 0) args.push('--no-sandbox');
  const browser = await puppeteer.launch({
    executablePath,
    headless: true,
    args,
    defaultViewport: { width: 1280, height: 1024 },
  });
  try {
    const page = await browser.newPage();
    await page.goto(url, { waitUntil: 'load', timeout: 60000 });
    await page.screenshot({ path: out, fullPage: true });
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(e && e.message ? e.message : e);
  process.exit(2);
});

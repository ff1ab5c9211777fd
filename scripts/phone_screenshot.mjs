// Photographs a page as a phone shows it (390 x 844 CSS px, mobile viewport, device scale 2) with
// the system Chromium driven by puppeteer-core. Usage: node phone_screenshot.mjs PAGE.html OUT.png
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import puppeteer from 'puppeteer-core';

const [page, out] = process.argv.slice(2);
if (!page || !out) {
  console.error('uso: node phone_screenshot.mjs PAGINA.html USCITA.png');
  process.exit(2);
}
const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'panorello-phone-'));
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  userDataDir: profile,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--hide-scrollbars'],
});
try {
  const tab = await browser.newPage();
  await tab.setViewport({
    width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true,
  });
  await tab.goto(`file://${path.resolve(page)}`, { waitUntil: 'load' });
  await tab.screenshot({ path: out });
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}

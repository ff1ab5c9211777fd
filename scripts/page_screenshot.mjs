// Photographs a page with the system Chromium driven by puppeteer-core: as a phone shows it
// (390 x 844 CSS px, mobile viewport, device scale 2) or on a desktop screen in the dark scheme
// (1280 x 2200). Usage: node page_screenshot.mjs phone|dark PAGE.html OUT.png
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

import puppeteer from 'puppeteer-core';

const SCREENS = {
  phone: {
    viewport: { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true },
    media: [],
  },
  dark: {
    viewport: { width: 1280, height: 2200, deviceScaleFactor: 1 },
    media: [{ name: 'prefers-color-scheme', value: 'dark' }],
  },
};
const [kind, page, out] = process.argv.slice(2);
if (!SCREENS[kind] || !page || !out) {
  console.error('uso: node page_screenshot.mjs phone|dark PAGINA.html USCITA.png');
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
  await tab.setViewport(SCREENS[kind].viewport);
  await tab.emulateMediaFeatures(SCREENS[kind].media);
  await tab.goto(`file://${path.resolve(page)}`, { waitUntil: 'load' });
  await tab.screenshot({ path: out });
} finally {
  await browser.close();
  fs.rmSync(profile, { recursive: true, force: true });
}

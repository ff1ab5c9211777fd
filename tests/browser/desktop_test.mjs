// The demo page on a desktop screen (1400 px wide) looks exactly as it did before the viewport
// element and the phone and print rules: whole-page screenshots identical pixel for pixel.
// Usage: node desktop_test.mjs BUILD_DIR
import path from 'node:path';

import {
  Checks, demoPage, launchBrowser, loadPuppeteer, needTools, readRgba, scratchFolder,
  withoutAdditions, writePage,
} from './support.mjs';

// Pixels that differ between two screenshots, or a note when their sizes differ.
function difference(a, b) {
  if (a.width !== b.width || a.height !== b.height) {
    return `${a.width}x${a.height} against ${b.width}x${b.height}`;
  }
  let pixels = 0;
  for (let i = 0; i < a.data.length; i += 4) {
    if (a.data.readUInt32BE(i) !== b.data.readUInt32BE(i)) pixels += 1;
  }
  return pixels ? `${pixels} pixels differ` : '';
}

async function main() {
  needTools('convert', 'identify');
  const puppeteer = await loadPuppeteer();
  const work = scratchFolder();
  const page = demoPage(process.argv[2] ?? 'build', work);
  const bare = withoutAdditions(page);
  // Controls: the same additions with their media queries made true on this screen must show,
  // or an identical screenshot would prove nothing.
  const variants = {
    page,
    bare,
    printRulesOnScreen: page.replace('@media print{', '@media screen{'),
    phoneRulesOnDesktop: page.replace('@media (max-width: 600px){', '@media (min-width: 1px){'),
  };
  const browser = await launchBrowser(puppeteer, work);
  const shots = {};
  try {
    const tab = await browser.newPage();
    await tab.setViewport({ width: 1400, height: 900, deviceScaleFactor: 1 });
    for (const [name, text] of Object.entries(variants)) {
      await tab.goto(`file://${writePage(work, `${name}.html`, text)}`, { waitUntil: 'load' });
      const file = path.join(work, `${name}.png`);
      await tab.screenshot({ path: file, fullPage: true });
      shots[name] = readRgba(file);
    }
  } finally {
    await browser.close();
  }
  const checks = new Checks();
  checks.expect(shots.page.height > 900, `the screenshot is ${shots.page.height} px high`);
  const same = difference(shots.page, shots.bare);
  checks.expect(same === '', `the page with its additions renders differently: ${same}`);
  for (const control of ['printRulesOnScreen', 'phoneRulesOnDesktop']) {
    checks.expect(difference(shots[control], shots.bare) !== '',
        `${control}: the screenshots do not tell the change apart`);
  }
  checks.finish();
}

await main();

// The demo page and a page with every render mode, on a desktop screen (1400 px wide, light
// scheme, no pointer over a chart), look exactly as they did before the additions for phones,
// paper and readers: whole-page screenshots identical pixel for pixel.
// Usage: node desktop_test.mjs BUILD_DIR
import path from 'node:path';

import {
  Checks, demoPage, launchBrowser, loadPuppeteer, modesPage, needTools, readRgba, scratchFolder,
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
  const build = process.argv[2] ?? 'build';
  const demo = demoPage(build, work);
  const modes = modesPage(build, work);
  // Controls: the same additions with their media queries made true on this screen must show,
  // or an identical screenshot would prove nothing.
  const variants = {
    demo,
    demoBare: withoutAdditions(demo),
    modes,
    modesBare: withoutAdditions(modes),
    printRulesOnScreen: demo.replace('@media print{', '@media screen{'),
    phoneRulesOnDesktop: demo.replace('@media (max-width: 600px){', '@media (min-width: 1px){'),
    darkRulesInLight: demo.replace('@media (prefers-color-scheme: dark){', '@media screen{'),
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
  for (const name of ['demo', 'modes']) {
    checks.expect(shots[name].height > 900, `${name}: the screenshot is ${shots[name].height} px high`);
    // The bare page has no doctype either: it renders in quirks mode, as it always did.
    const same = difference(shots[name], shots[`${name}Bare`]);
    checks.expect(same === '', `${name}: the page with its additions renders differently: ${same}`);
  }
  for (const control of ['printRulesOnScreen', 'phoneRulesOnDesktop', 'darkRulesInLight']) {
    checks.expect(difference(shots[control], shots.demoBare) !== '',
        `${control}: the screenshots do not tell the change apart`);
  }
  checks.finish();
}

await main();

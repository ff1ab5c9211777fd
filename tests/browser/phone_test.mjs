// The demo page on a phone (390 x 844 CSS px, device scale 3, mobile viewport): laid out at the
// phone's width, KPI labels at their 12 px, nothing wider than the screen except inside a box
// that scrolls sideways, charts as high as their width asks with x labels of 9 px or more that
// do not overlap. Usage: node phone_test.mjs BUILD_DIR
import {
  Checks, PHONE, demoPage, launchBrowser, loadPuppeteer, needTools, scratchFolder, writePage,
} from './support.mjs';

// Runs in the page: the layout facts the checks need.
function measure() {
  const width = window.innerWidth;
  const scrollsSideways = (e) => {
    const s = getComputedStyle(e);
    return s.overflowX === 'auto' || s.overflowX === 'scroll';
  };
  const tooWide = [];
  let scrolled = 0;
  for (const e of document.body.querySelectorAll('*')) {
    if (scrollsSideways(e) && e.scrollWidth > e.clientWidth) scrolled += 1;
    const r = e.getBoundingClientRect();
    if (r.left >= -0.5 && r.right <= width + 0.5) continue;
    let a = e.parentElement;
    while (a && !scrollsSideways(a)) a = a.parentElement;
    const box = a && a.getBoundingClientRect();
    if (!box || box.left < -0.5 || box.right > width + 0.5) {
      tooWide.push(`${e.tagName.toLowerCase()}.${e.className} ${r.left}..${r.right}`);
    }
  }
  const charts = [...document.querySelectorAll('svg.chartsvg')].map((svg) => {
    const box = svg.getBoundingClientRect();
    const scale = box.width / 1200;
    const labels = [...svg.querySelectorAll('text')].filter((t) => t.getBBox().width > 0)
        .map((t) => t.getBoundingClientRect()).sort((a, b) => a.left - b.left);
    return {
      ratio: box.height / box.width,
      labelPx: Math.min(...[...svg.querySelectorAll('text')].map(
          (t) => parseFloat(getComputedStyle(t).fontSize) * scale)),
      overlaps: labels.filter((r, i) => i > 0 && r.left < labels[i - 1].right).length,
    };
  });
  return {
    width,
    charts,
    scale: window.visualViewport.scale,
    pageWidth: document.documentElement.scrollWidth,
    labelSizes: [...document.querySelectorAll('.kpilabel')].map(
        (e) => getComputedStyle(e).fontSize),
    tooWide,
    scrolled,
  };
}

async function main() {
  needTools('identify');
  const puppeteer = await loadPuppeteer();
  const work = scratchFolder();
  const file = writePage(work, 'page.html', demoPage(process.argv[2] ?? 'build', work));
  const browser = await launchBrowser(puppeteer, work);
  try {
    const page = await browser.newPage();
    await page.setViewport(PHONE);
    await page.goto(`file://${file}`, { waitUntil: 'load' });
    const m = await page.evaluate(measure);
    const checks = new Checks();
    checks.expect(m.width === PHONE.width && m.scale === 1,
        `laid out ${m.width} px wide at scale ${m.scale}, not at the phone's ${PHONE.width} px`);
    checks.expect(m.labelSizes.length >= 8 && m.labelSizes.every((s) => s === '12px'),
        `KPI label sizes: ${m.labelSizes.join(' ')}`);
    checks.expect(m.pageWidth <= PHONE.width, `the page is ${m.pageWidth} px wide`);
    checks.expect(m.tooWide.length === 0, `wider than the screen: ${m.tooWide.join(', ')}`);
    checks.expect(m.scrolled > 0, 'no table of the demo scrolls sideways on the phone');
    checks.expect(m.charts.length >= 3, `${m.charts.length} charts`);
    for (const c of m.charts) {
      checks.expect(Math.abs(c.ratio - 320 / 1200) < 0.01, `chart height / width ${c.ratio}`);
      checks.expect(c.labelPx >= 9, `chart labels ${c.labelPx} px`);
      checks.expect(c.overlaps === 0, `${c.overlaps} chart labels overlap`);
    }
    console.log(JSON.stringify(m));
    checks.finish();
  } finally {
    await browser.close();
  }
}

await main();

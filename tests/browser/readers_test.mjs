// The page for readers: axe-core finds nothing but the designed contrast of the cards and the
// footer in the light scheme (1400 px and a phone), nothing at all in the dark scheme and with more contrast; every chart is
// a named image with a title per drawn point, a chart-only block carries its data as text, the
// pointer over a point shows its value, and forced colours keep the legend.
// Usage: node readers_test.mjs BUILD_DIR
import { createRequire } from 'node:module';

import {
  Checks, PHONE, demoPage, launchBrowser, loadPuppeteer, modesPage, needTools, scratchFolder, skip,
  writePage,
} from './support.mjs';

const DESKTOP = { width: 1400, height: 900, deviceScaleFactor: 1 };
const SCREENS = [
  { name: 'light 1400', viewport: DESKTOP, features: [], cardsExempt: true },
  { name: 'light phone', viewport: PHONE, features: [], cardsExempt: true },
  { name: 'dark 1400', viewport: DESKTOP, features: [{ name: 'prefers-color-scheme', value: 'dark' }] },
  { name: 'dark phone', viewport: PHONE, features: [{ name: 'prefers-color-scheme', value: 'dark' }] },
  { name: 'more contrast 1400', viewport: DESKTOP,
    features: [{ name: 'prefers-contrast', value: 'more' }] },
];

function axePath() {
  try {
    return createRequire(import.meta.url).resolve('axe-core/axe.min.js');
  } catch {
    return skip('axe-core is not installed: run scripts/install-deps.sh (npm ci)');
  }
}

// Violations as "rule: target" lines; none on the designed colours of the cards and the footer
// when they are exempt (the light page keeps its look).
async function axeViolations(tab, cardsExempt) {
  const violations = await tab.evaluate(async () => {
    const result = await window.axe.run(document, { resultTypes: ['violations'] });
    return result.violations.map((v) => ({
      id: v.id,
      nodes: v.nodes.map((n) => ({ target: n.target.join(' '), html: n.html })),
    }));
  });
  const lines = [];
  for (const v of violations) {
    for (const n of v.nodes) {
      const onCard = v.id === 'color-contrast' && /kpi(label|value)|"footer"/.test(n.html);
      if (!(cardsExempt && onCard)) lines.push(`${v.id}: ${n.target}`);
    }
  }
  return { lines, cardContrast: violations.some((v) => v.id === 'color-contrast') };
}

// Runs in the page: per chart its name, drawn points, titled targets and the block around it.
function charts() {
  return [...document.querySelectorAll('svg.chartsvg')].map((svg) => {
    const block = svg.closest('.block');
    const points = [...svg.querySelectorAll('polyline')]
        .reduce((n, p) => n + p.getAttribute('points').split(' ').length, 0);
    const titles = [...svg.querySelectorAll('circle > title')].map((t) => t.textContent);
    const hidden = block.querySelector('.srdata table');
    return {
      block: block.querySelector('.title').textContent,
      role: svg.getAttribute('role'),
      name: svg.getAttribute('aria-label'),
      points,
      titles: titles.filter((t) => / - .+: .+/.test(t)).length,
      hiddenRows: hidden ? hidden.rows.length - 1 : -1,
      hiddenBox: hidden ? hidden.closest('.srdata').getBoundingClientRect().width : -1,
      visibleTable: Boolean(block.querySelector('.tablebox table')),
    };
  });
}

async function hoveredTitle(tab, blockTitle, index) {
  const at = await tab.evaluate((title, i) => {
    const block = [...document.querySelectorAll('.block')]
        .find((b) => b.querySelector('.title').textContent === title);
    const circle = block.querySelectorAll('svg.chartsvg circle')[i];
    circle.scrollIntoView({ block: 'center' });
    const r = circle.getBoundingClientRect();
    return { x: r.left + r.width / 2, y: r.top + r.height / 2 };
  }, blockTitle, index);
  await tab.mouse.move(at.x, at.y);
  return tab.evaluate(() => {
    const hovered = [...document.querySelectorAll(':hover')].pop();
    return `${hovered.tagName}: ${hovered.querySelector('title')?.textContent}`;
  });
}

// Forced colours: the computed colours of the legend swatches of the first chart.
function swatches() {
  return [...document.querySelector('.chartlegend').querySelectorAll('.legendline')]
      .map((e) => getComputedStyle(e).backgroundColor);
}

async function main() {
  needTools();
  const puppeteer = await loadPuppeteer();
  const axe = axePath();
  const work = scratchFolder();
  const build = process.argv[2] ?? 'build';
  const pages = { demo: demoPage(build, work), modes: modesPage(build, work) };
  const checks = new Checks();
  const browser = await launchBrowser(puppeteer, work);
  try {
    const tab = await browser.newPage();
    const cdp = await tab.createCDPSession();
    for (const [name, text] of Object.entries(pages)) {
      const url = `file://${writePage(work, `${name}.html`, text)}`;
      for (const screen of SCREENS) {
        await tab.setViewport(screen.viewport);
        await cdp.send('Emulation.setEmulatedMedia', { features: screen.features });
        await tab.goto(url, { waitUntil: 'load' });
        await tab.addScriptTag({ path: axe });
        const { lines, cardContrast } = await axeViolations(tab, screen.cardsExempt);
        checks.expect(lines.length === 0, `${name}, ${screen.name}: ${lines.join('; ')}`);
        if (screen.cardsExempt && name === 'demo') {
          // Control: the designed cards do fall short, so axe does look at them.
          checks.expect(cardContrast, `${name}, ${screen.name}: no card contrast found`);
        }
      }
      await cdp.send('Emulation.setEmulatedMedia', { features: [] });
      await tab.setViewport(DESKTOP);
      await tab.goto(url, { waitUntil: 'load' });
      const found = await tab.evaluate(charts);
      checks.expect(found.length >= 3, `${name}: ${found.length} charts`);
      for (const c of found) {
        checks.expect(c.role === 'img' && c.name.startsWith(`${c.block}: `),
            `${name}, ${c.block}: role ${c.role}, name ${c.name}`);
        checks.expect(c.points > 0 && c.titles === c.points,
            `${name}, ${c.block}: ${c.titles} titles for ${c.points} points`);
        checks.expect(c.visibleTable || (c.hiddenRows > 0 && c.hiddenBox <= 1),
            `${name}, ${c.block}: no table, hidden data of ${c.hiddenRows} rows`);
      }
    }
    // The pointer over the third point of the second series: its row and value.
    const title = await hoveredTitle(tab, 'Grafico e tabella', 6 + 2);
    checks.expect(title === 'circle: Mar - b: 110', `hovered: ${title}`);
    const moved = await hoveredTitle(tab, 'Grafico e tabella', 5);
    checks.expect(moved === 'circle: Giu - a: 210', `hovered: ${moved}`);

    await cdp.send('Emulation.setEmulatedMedia',
        { features: [{ name: 'forced-colors', value: 'active' }] });
    const forced = await tab.evaluate(swatches);
    checks.expect(forced.length >= 2 && new Set(forced).size === forced.length,
        `forced colours: legend swatches ${forced.join(' ')}`);
    // Control: without their rule the swatches do lose their colours.
    const bare = pages.modes.replace('@media (forced-colors: active){', '@media (max-width: 1px){');
    await tab.goto(`file://${writePage(work, 'forced-bare.html', bare)}`, { waitUntil: 'load' });
    const lost = await tab.evaluate(swatches);
    checks.expect(new Set(lost).size < lost.length, `forced colours blind: ${lost.join(' ')}`);
  } finally {
    await browser.close();
  }
  checks.finish();
}

await main();

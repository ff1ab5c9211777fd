// A CHART block over 1,000,000 rows and three series: the built program writes a page under
// 5 MB within a peak memory that does not grow with the rows (the same block over 200,000 rows
// peaks as high), and in Chromium its x labels do not overlap and every drawn point has its
// title. Usage: node huge_test.mjs BUILD_DIR
import fs from 'node:fs';

import {
  Checks, launchBrowser, loadPuppeteer, needTools, scratchFolder, sqlitePage,
} from './support.mjs';

const ROWS = 1000000;
const FEW_ROWS = 200000;
const MAX_PAGE_BYTES = 5 * 1024 * 1024;
// The chart is reduced while the rows arrive: the program, its page text and the database's own
// cache stay far below the 60 bytes a row a whole result would take (about 60 MB here) ...
const MAX_PEAK_KB = 30 * 1024;
// ... and five times the rows cost next to nothing more.
const MAX_GROWTH_KB = 3 * 1024;

// A sanitizer build's memory says nothing about the program's.
function sanitized(build) {
  const cache = `${build}/CMakeCache.txt`;
  return fs.existsSync(cache) && /PANORELLO_SANITIZE:BOOL=ON/.test(fs.readFileSync(cache, 'utf8'));
}

// Runs in the page: the drawn chart's facts.
function measure() {
  const svg = document.querySelector('svg.chartsvg');
  const labels = [...svg.querySelectorAll('text')].map((t) => t.getBBox())
      .sort((a, b) => a.x - b.x);
  return {
    labels: labels.length,
    overlaps: labels.filter((b, i) => i > 0 && b.x < labels[i - 1].x + labels[i - 1].width).length,
    outside: labels.filter((b) => b.x < 0 || b.x + b.width > 1200).length,
    points: [...svg.querySelectorAll('polyline')]
        .reduce((n, p) => n + p.getAttribute('points').split(' ').length, 0),
    titles: svg.querySelectorAll('circle > title').length,
    hiddenRows: document.querySelector('.srdata table').rows.length - 1,
  };
}

// The page of a CHART block over `rows` rows of three series.
function hugePage(build, work, rows) {
  const sql = `CREATE TABLE m (quando TEXT, a DOUBLE, b DOUBLE, c INTEGER);
    WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < ${rows - 1})
    INSERT INTO m SELECT datetime('2020-01-01', '+' || i || ' minutes'),
      abs(random() % 100000) / 10.0, 50000 + 40000 * sin(i / 5000.0), i % 7919 FROM n;`;
  return sqlitePage(build, work, `huge${rows}`, sql,
      [['Letture al minuto', 'CHART', 'SELECT quando, a, b, c FROM m']]);
}

async function main() {
  needTools('sqlite3');
  const puppeteer = await loadPuppeteer();
  const work = scratchFolder();
  const build = process.argv[2] ?? 'build';
  const few = hugePage(build, work, FEW_ROWS);
  const page = hugePage(build, work, ROWS);
  const checks = new Checks();
  const bytes = fs.statSync(page.file).size;
  console.log(`page ${bytes} bytes, peak ${page.peakKb} KB (${FEW_ROWS} rows: ${few.peakKb} KB)`);
  checks.expect(bytes < MAX_PAGE_BYTES, `the page is ${bytes} bytes`);
  if (!sanitized(build)) {
    checks.expect(page.peakKb < MAX_PEAK_KB, `peak memory ${page.peakKb} KB`);
    checks.expect(page.peakKb < few.peakKb + MAX_GROWTH_KB,
        `peak memory ${page.peakKb} KB for ${ROWS} rows, ${few.peakKb} KB for ${FEW_ROWS}`);
  }
  checks.expect(!page.text.includes('class="error"'), 'the block shows an error');

  const browser = await launchBrowser(puppeteer, work);
  try {
    const tab = await browser.newPage();
    await tab.setViewport({ width: 1400, height: 900, deviceScaleFactor: 1 });
    await tab.goto(`file://${page.file}`, { waitUntil: 'load' });
    const m = await tab.evaluate(measure);
    console.log(JSON.stringify(m));
    checks.expect(m.labels >= 5 && m.overlaps === 0 && m.outside === 0,
        `${m.labels} labels, ${m.overlaps} overlapping, ${m.outside} beyond the canvas`);
    checks.expect(m.points > 3 * 1125 && m.points <= 3 * 4 * 1125,
        `${m.points} points drawn for three series`);
    checks.expect(m.titles === m.points, `${m.titles} titles for ${m.points} points`);
    checks.expect(m.hiddenRows > 1125 && m.hiddenRows <= m.points,
        `${m.hiddenRows} rows of hidden data`);
  } finally {
    await browser.close();
  }
  checks.finish();
}

await main();

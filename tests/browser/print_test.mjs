// The demo page on paper: printed to PDF by Chromium and turned into page images, no block title
// sits alone at the foot of a page, the footer never sits alone on the last page, and the KPI cards keep their colours, also when the browser
// prints without background graphics (its default). Usage: node print_test.mjs BUILD_DIR
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

import {
  CHROMIUM, CHROMIUM_FLAGS, Checks, demoPage, launchBrowser, loadPuppeteer, needTools,
  scratchFolder, withoutAdditions, writePage,
} from './support.mjs';

const DPI = 50;
// Space put above the first block, so that block edges fall at other places of the pages.
const SHIFTS = [0, 250, 500, 750];
const KPI_COLOURS = {
  1: [0x25, 0x63, 0xeb], 2: [0x16, 0xa3, 0x4a], 3: [0xd9, 0x77, 0x06], 4: [0xdc, 0x26, 0x26],
  5: [0x08, 0x91, 0xb2], 6: [0x7c, 0x3a, 0xed], 7: [0x47, 0x55, 0x69], 8: [0xbe, 0x18, 0x5d],
};

const decode = (s) => s.replace(/<br>/g, ' ').replace(/&lt;/g, '<').replace(/&gt;/g, '>')
    .replace(/&quot;/g, '"').replace(/&(#39|apos);/g, "'").replace(/&amp;/g, '&')
    .replace(/\s+/g, ' ').trim();

function blocksOf(page) {
  const pattern = /<div class="title">(.*?)<\/div><div class="subtitle">(.*?)<\/div>/g;
  return [...page.matchAll(pattern)].map((m) => ({ title: decode(m[1]), subtitle: decode(m[2]) }));
}

function printWithChromium(work, name, text) {
  const html = writePage(work, `${name}.html`, text);
  const pdf = path.join(work, `${name}.pdf`);
  execFileSync(CHROMIUM, ['--headless', ...CHROMIUM_FLAGS, `--user-data-dir=${work}/profile-cli`,
    '--no-pdf-header-footer', `--print-to-pdf=${pdf}`, `file://${html}`],
  { stdio: 'ignore', timeout: 120000 });
  return pdf;
}

// Text lines of every page, in PDF points from the top: [{ text, yMin, yMax }] per page.
function textLines(pdf) {
  const xml = execFileSync('pdftotext', ['-bbox-layout', pdf, '-'], { encoding: 'utf8' });
  return xml.split('<page ').slice(1).map((p) => [...p.matchAll(
      /<line xMin="[^"]*" yMin="([^"]*)" xMax="[^"]*" yMax="([^"]*)">([\s\S]*?)<\/line>/g)]
      .map((m) => ({
        yMin: Number(m[1]),
        yMax: Number(m[2]),
        text: decode([...m[3].matchAll(/<word[^>]*>(.*?)<\/word>/g)].map((w) => w[1]).join(' ')),
      })));
}

function readPpm(file) {
  const bytes = fs.readFileSync(file);
  const head = bytes.toString('latin1', 0, 64).match(/^P6\s+(\d+)\s+(\d+)\s+(\d+)\s/);
  if (!head || head[3] !== '255') throw new Error(`${file}: not an 8-bit PPM image`);
  return { width: Number(head[1]), height: Number(head[2]), data: bytes.subarray(head[0].length) };
}

function pageImages(work, pdf) {
  const prefix = path.join(work, path.basename(pdf, '.pdf'));
  execFileSync('pdftoppm', ['-r', String(DPI), pdf, prefix]);
  return fs.readdirSync(work).filter((f) => f.startsWith(`${path.basename(prefix)}-`))
      .sort((a, b) => Number(a.match(/-(\d+)\.ppm$/)[1]) - Number(b.match(/-(\d+)\.ppm$/)[1]))
      .map((f) => readPpm(path.join(work, f)));
}

// Ink: text, lines and coloured boxes; not the light borders, separators and backgrounds.
function inkBelow(image, row) {
  for (let y = Math.max(0, row); y < image.height; y += 1) {
    for (let x = 0; x < image.width; x += 1) {
      const i = (y * image.width + x) * 3;
      if (Math.min(image.data[i], image.data[i + 1], image.data[i + 2]) < 170) return true;
    }
  }
  return false;
}

// Titles whose body is not on their page: nothing is printed below the title and subtitle.
// Blocks are looked for in page order, each after the previous one's title (a KPI label may
// repeat a later block's title).
function loneTitles(pdf, images, blocks) {
  const lone = [];
  const pages = textLines(pdf);
  let from = { page: 0, y: -1 };
  for (const { title, subtitle } of blocks) {
    let p = from.page;
    let head;
    for (; p < pages.length && !head; p += 1) {
      head = pages[p].find((l) => l.text === title && (p > from.page || l.yMin > from.y));
    }
    p -= 1;
    if (!head) {
      lone.push(`${title} (not found)`);
      continue;
    }
    from = { page: p, y: head.yMin };
    const sub = pages[p].find((l) => l.text === subtitle && l.yMin >= head.yMax - 1);
    if (subtitle && !sub) {
      lone.push(`${title} (page ${p + 1}, subtitle on the next page)`);
      continue;
    }
    const bottom = (sub ?? head).yMax;
    const row = Math.ceil((bottom * DPI) / 72) + 1;
    if (!inkBelow(images[p], row)) lone.push(`${title} (page ${p + 1})`);
  }
  return lone;
}

// True when the last page holds nothing but the footer line.
function footerAlone(pdf) {
  const pages = textLines(pdf);
  const last = pages[pages.length - 1];
  return last.length > 0 && last.every((l) => l.text.startsWith('Generato da Panorello'));
}

// Pixels of colour `rgb` inside a filled area (a card), not on a thin line such as a chart's.
function filledPixels(images, rgb) {
  const reach = Math.round((6 * DPI) / 72);
  const near = (img, x, y) => {
    const i = (y * img.width + x) * 3;
    return rgb.every((c, k) => Math.abs(img.data[i + k] - c) <= 8);
  };
  let count = 0;
  for (const img of images) {
    for (let y = reach; y < img.height - reach; y += 1) {
      for (let x = 0; x < img.width; x += 1) {
        if (near(img, x, y) && near(img, x, y - reach) && near(img, x, y + reach)) count += 1;
      }
    }
  }
  return count;
}

function missingKpiColours(page, images) {
  const used = new Set([...page.matchAll(/class="kpicard kpi-(\d)"/g)].map((m) => m[1]));
  return [...used].filter((n) => filledPixels(images, KPI_COLOURS[n]) < 100).map((n) => `kpi-${n}`);
}

async function printWithoutBackgrounds(puppeteer, work, name, text) {
  const browser = await launchBrowser(puppeteer, work);
  try {
    const tab = await browser.newPage();
    await tab.goto(`file://${writePage(work, `${name}.html`, text)}`, { waitUntil: 'load' });
    const pdf = path.join(work, `${name}.pdf`);
    await tab.pdf({ path: pdf, format: 'letter', printBackground: false });
    return pdf;
  } finally {
    await browser.close();
  }
}

async function main() {
  needTools('pdftoppm', 'pdftotext');
  const puppeteer = await loadPuppeteer();
  const work = scratchFolder();
  const page = demoPage(process.argv[2] ?? 'build', work);
  const bare = withoutAdditions(page);
  const blocks = blocksOf(page);
  const shifted = (text, px) => text.replace('<body>', `<body><div style="height:${px}px"></div>`);
  const checks = new Checks();
  checks.expect(blocks.length >= 8, `${blocks.length} blocks found in the demo page`);

  let bareLone = [];
  for (const px of SHIFTS) {
    const pdf = printWithChromium(work, `page-${px}`, shifted(page, px));
    const images = pageImages(work, pdf);
    const lone = loneTitles(pdf, images, blocks);
    checks.expect(lone.length === 0,
        `shifted ${px} px, titles alone at a page foot: ${lone.join('; ')}`);
    checks.expect(!footerAlone(pdf), `shifted ${px} px, the footer alone on the last page`);
    if (px === 0) {
      const missing = missingKpiColours(page, images);
      checks.expect(missing.length === 0, `KPI colours missing on paper: ${missing.join(' ')}`);
    }
    if (bareLone.length === 0) {
      const barePdf = printWithChromium(work, `bare-${px}`, shifted(bare, px));
      bareLone = loneTitles(barePdf, pageImages(work, barePdf), blocks);
    }
  }
  console.log('without print rules:', bareLone.join('; '));
  // Controls: without the print rules some title ends up alone, and without the footer's rules
  // the footer does, so the checks can fail.
  checks.expect(bareLone.length > 0, 'the page without print rules never leaves a title alone');
  const looseFooter = page.replace('main{display:contents;}', '')
      .replace('.footer{break-before:avoid;page-break-before:avoid;}', '');
  checks.expect(footerAlone(printWithChromium(work, 'loose-footer', looseFooter)),
      'the page without the footer\'s print rules never leaves it alone: the check is blind');

  const plainPdf = await printWithoutBackgrounds(puppeteer, work, 'plain', page);
  const plain = pageImages(work, plainPdf);
  const missing = missingKpiColours(page, plain);
  checks.expect(missing.length === 0,
      `KPI colours missing when printed without backgrounds: ${missing.join(' ')}`);
  const barePdf = await printWithoutBackgrounds(puppeteer, work, 'bare-plain', bare);
  const barePlain = pageImages(work, barePdf);
  checks.expect(missingKpiColours(page, barePlain).length > 0,
      'the page without print rules keeps its KPI colours without backgrounds: the check is blind');
  checks.finish();
}

await main();

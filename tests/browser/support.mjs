// What the browser tests share: the demo page made by the built program, the page without its
// phone and print additions, headless Chromium (command line and puppeteer-core), image decoding.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const CHROMIUM = '/usr/bin/chromium';
export const CHROMIUM_FLAGS = [
  '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--hide-scrollbars',
];
export const SKIP = 77;  // the SKIP_RETURN_CODE of these tests
// A phone: 390 x 844 CSS px, device scale 3, mobile viewport.
export const PHONE = {
  width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
};

export const VIEWPORT_ELEMENT =
  '<meta name="viewport" content="width=device-width, initial-scale=1">';

export function skip(reason) {
  console.log(`SKIP: ${reason}`);
  process.exit(SKIP);
}

function onPath(tool) {
  return spawnSync('sh', ['-c', `command -v ${tool}`], { stdio: 'ignore' }).status === 0;
}

// Skips the test unless Chromium and the given command-line tools are installed.
export function needTools(...tools) {
  const hint = 'scripts/install-deps.sh installs it';
  if (!fs.existsSync(CHROMIUM)) skip(`${CHROMIUM} is missing (${hint})`);
  for (const tool of tools) {
    if (!onPath(tool)) skip(`${tool} is missing (${hint})`);
  }
}

export async function loadPuppeteer() {
  try {
    return (await import('puppeteer-core')).default;
  } catch {
    return skip('puppeteer-core is not installed: run scripts/install-deps.sh (npm ci)');
  }
}

// A scratch folder removed when the process ends.
export function scratchFolder() {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'panorello-browser-'));
  process.on('exit', () => fs.rmSync(folder, { recursive: true, force: true }));
  return folder;
}

// Runs `/DEMO` on a private copy of the built program (its browser launch goes to a stand-in)
// and returns the text of the page it writes.
export function demoPage(buildDir, work) {
  const program = path.join(buildDir, 'panorello');
  if (!fs.existsSync(program)) throw new Error(`${program} is missing: build first`);
  const dir = path.join(work, 'demo');
  fs.mkdirSync(path.join(dir, 'bin'), { recursive: true });
  fs.copyFileSync(program, path.join(dir, 'panorello'));
  fs.chmodSync(path.join(dir, 'panorello'), 0o755);
  fs.copyFileSync(path.join(buildDir, 'blocks_demo.ini'), path.join(dir, 'blocks_demo.ini'));
  fs.writeFileSync(path.join(dir, 'bin', 'xdg-open'), '#!/bin/sh\nexit 0\n', { mode: 0o755 });
  execFileSync(path.join(dir, 'panorello'), ['/DEMO'], {
    cwd: dir,
    env: { ...process.env, PATH: `${path.join(dir, 'bin')}:${process.env.PATH}` },
    stdio: ['ignore', 'ignore', 'inherit'],
  });
  return fs.readFileSync(path.join(dir, 'dashboard_demo.html'), 'utf8');
}

// The page as it was before the additions for phones, paper and readers: no viewport element, no
// language, landmarks, names, table boxes, hover targets or hidden chart data, nothing after the
// style sheet's 27 rules.
export function withoutAdditions(page) {
  const steps = [
    [VIEWPORT_ELEMENT, ''],
    [/^<!DOCTYPE html>/, ''],
    ['<html lang="it">', '<html>'],
    [/\.srdata\{[^}]*\}@media[^<]*<\/style>/, '</style>'],
    ['<header class="head">', '<div class="head">'],
    ['</header><main>', '</div>'],
    ['</main><footer class="footer">', '<div class="footer">'],
    ['</footer>', '</div>'],
    [/ role="img" aria-label="[^"]*"/g, ''],
    [/<g class="charthit"[^>]*>.*?<\/g>/g, ''],
    [/<div class="srdata">.*?<\/table><\/div>/g, ''],
    [/<div class="tablebox" tabindex="0" role="region" aria-label="[^"]*">(.*?<\/table>)<\/div>/g,
      '$1'],
    [/ scope="col"/g, ''],
  ];
  let bare = page;
  for (const [from, to] of steps) bare = bare.replace(from, to);
  for (const left of ['@media', 'name="viewport"', 'lang=', '<main', 'aria-', 'scope=', '<title>',
    'srdata', 'tabindex']) {
    if (bare.slice(bare.indexOf('</head>')).includes(left) || bare.includes('@media')) {
      throw new Error(`the page without its additions still holds ${left}`);
    }
  }
  return bare;
}

// Runs the built program on the batch road against a SQLite file made by `sql`, with the blocks
// [title, mode, query], and returns the text of the page it writes.
export function sqlitePage(buildDir, work, name, sql, blocks) {
  const program = path.join(buildDir, 'panorello');
  if (!fs.existsSync(program)) throw new Error(`${program} is missing: build first`);
  const dir = path.join(work, name);
  fs.mkdirSync(dir, { recursive: true });
  fs.copyFileSync(program, path.join(dir, 'panorello'));
  fs.chmodSync(path.join(dir, 'panorello'), 0o755);
  execFileSync('sqlite3', [path.join(dir, 'dati.db')], { input: sql });
  const lines = [`DBTYPE=ACCESS`, `DATABASE=${path.join(dir, 'dati.db')}`,
    `OUTPUTFILE=${path.join(dir, 'page.html')}`, 'PAGETITLE=Prova', 'OPENBROWSER=0',
    `LOGFILE=${path.join(dir, 'run.log')}`];
  fs.writeFileSync(path.join(dir, 'config.ini'), lines.map((l) => `${l}\r\n`).join(''));
  fs.writeFileSync(path.join(dir, 'blocks.ini'), blocks.map(([title, mode, query], i) =>
    ['[BLOCK]', `ID=${i + 1}`, `TITLE=${title}`, 'SUBTITLE=', `SORTORDER=${i + 1}`, 'ACTIVE=1',
      `RENDERMODE=${mode}`, 'DASHBOARD=', 'SQLBEGIN', query, 'SQLEND', '[/BLOCK]', '']
        .join('\r\n')).join(''));
  const run = spawnSync('/usr/bin/time', ['-f', '%M', path.join(dir, 'panorello'), '/RUN'],
      { cwd: dir, encoding: 'utf8' });
  // 3: the page is written, with a block showing its error box.
  if (run.status !== 0 && run.status !== 3) throw new Error(`panorello /RUN ended with ${run.status}: ${run.stderr}`);
  const peakKb = Number(run.stderr.trim().split('\n').pop());
  const file = path.join(dir, 'page.html');
  return { text: fs.readFileSync(file, 'utf8'), file, peakKb };
}

// Every render mode and body kind on one page.
export function modesPage(buildDir, work) {
  const sql = `CREATE TABLE v (mese VARCHAR(3), a INTEGER, b DOUBLE, nota VARCHAR(20));
    INSERT INTO v VALUES ('Gen',120,80.5,'ok'),('Feb',150,95.25,'ok'),('Mar',90,110,'ritardo'),
      ('Apr',180,60,'ok'),('Mag',160,130.75,'ok'),('Giu',210,100,'ok');`;
  const q = 'SELECT mese, a, b FROM v';
  return sqlitePage(buildDir, work, 'modes', sql, [
    ['Tabella', 'TABLE', 'SELECT * FROM v'],
    ['Schede', 'KPI', 'SELECT SUM(a) AS Totale, AVG(b) AS Media, COUNT(*) AS Mesi FROM v'],
    ['Solo grafico', 'CHART', q],
    ['Grafico e tabella', 'CHARTTABLE', q],
    ['Automatico grafico', 'AUTO', q],
    ['Automatico schede', '', 'SELECT MAX(a) AS Massimo FROM v'],
    ['Automatico tabella', 'AUTO', 'SELECT mese, nota FROM v'],
    ['Vuoto', 'AUTO', 'SELECT * FROM v WHERE 0'],
    ['Errore', 'TABLE', 'SELECT * FROM manca'],
  ]).text;
}

export function writePage(work, name, text) {
  const file = path.join(work, name);
  fs.writeFileSync(file, text);
  return file;
}

export async function launchBrowser(puppeteer, work) {
  return puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: fs.mkdtempSync(path.join(work, 'profile-')),
    args: CHROMIUM_FLAGS,
  });
}

// Decodes an image file (PNG, PPM...) to { width, height, data } with 4 bytes (RGBA) a pixel.
export function readRgba(file) {
  const size = execFileSync('identify', ['-format', '%w %h', file], { encoding: 'utf8' });
  const [width, height] = size.trim().split(' ').map(Number);
  const data = execFileSync('convert', [file, '-depth', '8', 'rgba:-'], {
    maxBuffer: 1 << 30,
  });
  return { width, height, data };
}

// Collects failed checks; `finish` prints them and sets the exit status.
export class Checks {
  constructor() {
    this.failures = [];
    this.count = 0;
  }
  expect(ok, message) {
    this.count += 1;
    if (!ok) this.failures.push(message);
  }
  finish() {
    for (const f of this.failures) console.log(`FAILED: ${f}`);
    console.log(`${this.count - this.failures.length} passed, ${this.failures.length} failed`);
    process.exitCode = this.failures.length ? 1 : 0;
  }
}

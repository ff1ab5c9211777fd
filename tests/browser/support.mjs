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

// The page as it was before the phone and print additions: no viewport element, nothing after
// the style sheet's 27 rules.
export function withoutAdditions(page) {
  const bare = page.replace(VIEWPORT_ELEMENT, '').replace(/@media[^<]*<\/style>/, '</style>');
  if (bare === page || bare.includes('@media') || bare.includes('name="viewport"')) {
    throw new Error('the page does not carry the viewport element and the @media rules');
  }
  return bare;
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

// Opens pages in headless Chromium for the page tests.
//
// openPage(url, {width, height}) returns {browser, page, errors}: `errors`
// collects every console error and uncaught page error as it happens; call
// failOnErrors(errors) (or check it yourself) before a test passes.
// `args` adds Chromium switches. `beforeLoad(page)`, when given, runs before the page is opened (to set up
// request interception, downloads and the like).
// WebGL runs in software (SwiftShader), as on a machine without a GPU.
import puppeteer from 'puppeteer-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const chromiumPath = process.env.CHROMIUM || '/usr/bin/chromium';

export async function openPage(url, { width = 1024, height = 768, timeout = 60000, beforeLoad = null, args = [] } = {}) {
  if (!fs.existsSync(chromiumPath)) {
    throw new Error(`no browser at ${chromiumPath}: run scripts/install-deps.sh test`);
  }
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: chromiumPath,
    headless: true,
    userDataDir: profile,
    args: [
      '--no-sandbox', '--disable-quic', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage',
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--ignore-gpu-blocklist',
      // Pages are opened from disk; let one read its sibling files.
      '--allow-file-access-from-files',
      `--window-size=${width},${height}`,
      ...args,
    ],
    defaultViewport: { width, height },
    protocolTimeout: timeout,
  });
  const errors = [];
  const page = await browser.newPage();
  page.setDefaultTimeout(timeout);
  page.on('console', (m) => { if (m.type() === 'error') errors.push(`console: ${m.text()}`); });
  page.on('pageerror', (e) => errors.push(`page error: ${e.message}`));
  page.on('requestfailed', (r) => errors.push(`request failed: ${r.url()} ${r.failure()?.errorText}`));
  const close = browser.close.bind(browser);
  browser.close = async () => { await close(); fs.rmSync(profile, { recursive: true, force: true }); };
  if (beforeLoad) await beforeLoad(page);
  await page.goto(url, { waitUntil: 'load' });
  return { browser, page, errors };
}

export function failOnErrors(errors) {
  if (errors.length) throw new Error(`the page reported errors:\n  ${errors.join('\n  ')}`);
}

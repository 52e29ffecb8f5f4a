// Opens each SVG or HTML file given on the command line in headless
// Chromium, at desktop width and at 400 px, and checks that
//  - the page loads with no console error, no script error and no request
//    for anything but the file itself;
//  - every plot area (the frames of the Bode panels and of the pole-zero
//    plane) shows coloured pixels (curves or markers, not only the grey
//    grid) in a screenshot;
//  - every MathML formula is laid out with a non-empty box;
//  - an HTML page needs no horizontal scrolling at either width;
//  - an exact formula and its approximation stand side by side at desktop
//    width and one above the other at 400 px, both visible.
// Exits with status 1 and one line per failure when a check fails.
import { chromium } from 'playwright-core';
import { pathToFileURL } from 'node:url';
import path from 'node:path';

const files = process.argv.slice(2);
if (files.length === 0) {
  console.error('usage: node check.mjs FILE.svg|FILE.html...');
  process.exit(2);
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const failures = [];

// Counts coloured pixels (channels far apart: not white, black or grey)
// inside each box of a PNG screenshot, decoded by the browser itself.
async function colouredPixels(png, boxes) {
  const page = await browser.newPage();
  try {
    return await page.evaluate(async ({ data, boxes }) => {
      const image = new Image();
      image.src = 'data:image/png;base64,' + data;
      await image.decode();
      const canvas = document.createElement('canvas');
      canvas.width = image.width;
      canvas.height = image.height;
      const context = canvas.getContext('2d');
      context.drawImage(image, 0, 0);
      return boxes.map((b) => {
        const x = Math.max(0, Math.floor(b.x)), y = Math.max(0, Math.floor(b.y));
        const w = Math.min(image.width - x, Math.ceil(b.width)), h = Math.min(image.height - y, Math.ceil(b.height));
        if (w <= 0 || h <= 0) return 0;
        const pixels = context.getImageData(x, y, w, h).data;
        let count = 0;
        for (let i = 0; i < pixels.length; i += 4) {
          const r = pixels[i], g = pixels[i + 1], bl = pixels[i + 2];
          if (Math.max(r, g, bl) - Math.min(r, g, bl) > 60) ++count;
        }
        return count;
      });
    }, { data: png.toString('base64'), boxes });
  } finally {
    await page.close();
  }
}

for (const file of files) {
  const url = pathToFileURL(path.resolve(file)).href;
  for (const width of [1280, 400]) {
    const where = `${file} at ${width} px`;
    const context = await browser.newContext({ viewport: { width, height: 800 } });
    const page = await context.newPage();
    const errors = [];
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    page.on('request', (r) => { if (r.url() !== url) errors.push('requests ' + r.url()); });
    const response = await page.goto(url, { waitUntil: 'load' });
    if (!response || !response.ok()) failures.push(`${where}: does not load`);
    for (const e of errors) failures.push(`${where}: ${e}`);

    const layout = await page.evaluate(() => {
      const box = (e) => {
        const r = e.getBoundingClientRect();
        return { x: r.x + window.scrollX, y: r.y + window.scrollY, width: r.width, height: r.height };
      };
      const root = document.documentElement;
      return {
        html: root.namespaceURI === 'http://www.w3.org/1999/xhtml',
        scrollWidth: root.scrollWidth,
        plots: [...document.querySelectorAll('rect.frame')].map(box),
        svgs: document.querySelectorAll('svg').length,
        math: [...document.querySelectorAll('math')].map((m) => ({
          mathml: m.namespaceURI === 'http://www.w3.org/1998/Math/MathML',
          ...box(m),
        })),
        pairs: [...document.querySelectorAll('.pair')].map((p) =>
          [...p.querySelectorAll('.formula')].map(box)),
      };
    });
    if (layout.svgs === 0) failures.push(`${where}: no SVG drawing`);
    if (layout.plots.length === 0) failures.push(`${where}: no plot area`);
    if (layout.html && layout.scrollWidth > width + 1)
      failures.push(`${where}: page is ${layout.scrollWidth} px wide`);
    layout.math.forEach((m, k) => {
      if (!m.mathml || !(m.width > 0 && m.height > 0))
        failures.push(`${where}: formula ${k + 1} has an empty box (${m.width} x ${m.height})`);
    });
    layout.pairs.forEach((pair, k) => {
      const [exact, approximated] = pair;
      if (pair.length !== 2 || !(exact.width > 0 && approximated.width > 0)) {
        failures.push(`${where}: formula pair ${k + 1} does not show both formulas`);
        return;
      }
      const beside = approximated.x >= exact.x + exact.width && Math.abs(approximated.y - exact.y) < exact.height;
      const below = approximated.y >= exact.y + exact.height;
      if (width > 600 ? !beside : !below)
        failures.push(`${where}: formula pair ${k + 1} is not ${width > 600 ? 'side by side' : 'stacked'}`);
    });
    // (A full-page screenshot of a bare SVG document never completes; its
    // drawing has a fixed size, and the viewport is tall enough for it.)
    const png = await page.screenshot({ fullPage: layout.html });
    if (process.env.SCREENSHOTS) {
      const shot = path.join(process.env.SCREENSHOTS, `${path.basename(file)}-${width}.png`);
      await import('node:fs').then((fs) => fs.writeFileSync(shot, png));
    }
    const counts = await colouredPixels(png, layout.plots);
    counts.forEach((count, k) => {
      if (count < 20) failures.push(`${where}: plot area ${k + 1} shows no curve or marker`);
    });
    console.log(`${where}: ${layout.plots.length} plot areas (coloured pixels ${counts.join(', ')}), ` +
                `${layout.math.length} formulas, ${layout.pairs.length} exact/approximated pairs`);
    await context.close();
  }
}
await browser.close();
for (const f of failures) console.error(f);
process.exit(failures.length === 0 ? 0 : 1);

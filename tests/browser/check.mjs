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
//    width and one above the other at 400 px, both visible;
//  - each formula's numerator and denominator, scrolled to, are both wholly
//    inside the viewport, and every table fits its column;
//  - on a pole-zero map, roots a tenth of a decade or a tenth of a radian
//    apart are drawn at distinct spots (at least 5 px apart), each inside
//    the plane and showing colour;
//  - with --peak=DB before a Bode plot, the highest point drawn in its
//    magnitude panel (found in a screenshot at 8 device pixels per CSS
//    pixel) lies within 0.1 dB of DB, read on the panel's own axis.
// SCREENSHOTS=DIR keeps a screenshot of each file at each width there.
// Exits with status 1 and one line per failure when a check fails.
import { chromium } from 'playwright-core';
import { pathToFileURL } from 'node:url';
import path from 'node:path';

// Files, each with the peak height expected of it (the last --peak before it).
const files = [];
let expectedPeak = null;
for (const arg of process.argv.slice(2)) {
  if (arg.startsWith('--peak=')) expectedPeak = Number(arg.slice(7));
  else files.push({ name: arg, peak: expectedPeak });
}
if (files.length === 0) {
  console.error('usage: node check.mjs [--peak=DB] FILE.svg|FILE.html...');
  process.exit(2);
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const failures = [];

// Runs measure(context, image, arg) in a page on a PNG screenshot decoded
// by the browser itself into a canvas (`measure` is sent as its source).
async function withPixels(png, measure, arg) {
  const page = await browser.newPage();
  try {
    return await page.evaluate(async ({ data, source, arg }) => {
      const image = new Image();
      image.src = 'data:image/png;base64,' + data;
      await image.decode();
      const canvas = document.createElement('canvas');
      canvas.width = image.width;
      canvas.height = image.height;
      const context = canvas.getContext('2d');
      context.drawImage(image, 0, 0);
      return new Function('context', 'image', 'arg', `return (${source})(context, image, arg);`)(context, image, arg);
    }, { data: png.toString('base64'), source: measure.toString(), arg });
  } finally {
    await page.close();
  }
}

// Counts coloured pixels (channels far apart: not white, black or grey)
// inside each box of a PNG screenshot.
function colouredPixels(png, boxes) {
  return withPixels(png, (context, image, boxes) =>
    boxes.map((b) => {
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
    }), boxes);
}

// The highest coloured pixel in a magnitude panel, as dB on the panel's axis.
async function drawnPeak(url, viewport) {
  const context = await browser.newContext({ viewport, deviceScaleFactor: 8 });
  const page = await context.newPage();
  try {
    await page.goto(url, { waitUntil: 'load' });
    const panel = await page.evaluate(() => {
      const frame = document.querySelector('g.magnitude rect.frame');
      if (!frame) return null;
      frame.scrollIntoView({ block: 'center' });
      const r = frame.getBoundingClientRect();
      return { x: r.x, y: r.y, width: r.width, height: r.height, scale: r.height / frame.height.baseVal.value,
               low: Number(frame.dataset.yMin), high: Number(frame.dataset.yMax) };
    });
    if (!panel) return null;
    // The frame's top edge (1 unit wide, dark grey) and the curves below
    // it, in one screenshot: a drawing at a fractional place on the page is
    // painted at a rounded one, so the curve is measured from the frame as
    // painted. The curve's stroke is 2 units wide, so its top edge lies 1
    // unit above the point drawn; the frame's line lies half a unit above
    // its edge. (Whole CSS pixels: a fractional clip is rounded.)
    const clip = { x: Math.ceil(panel.x) + 2, y: Math.floor(panel.y) - 2,
                   width: Math.floor(panel.width) - 4, height: Math.floor(panel.height) };
    const png = await page.screenshot({ clip });
    const rows = await colouredRows(png);
    if (rows.first < 0 || rows.frame < 0) return null;
    const below = (rows.first - rows.frame) / 8 + panel.scale - panel.scale / 2;
    return panel.high - below / panel.height * (panel.high - panel.low);
  } finally {
    await context.close();
  }
}

// The first and last rows of a PNG that hold a coloured pixel (-1: none;
// the grid is grey, the curves are coloured), and the first dark grey row.
function colouredRows(png) {
  return withPixels(png, (context, image) => {
    const pixels = context.getImageData(0, 0, image.width, image.height).data;
    let first = -1, last = -1, frame = -1;
    // The first row of dark grey pixels (the frame) across the middle.
    for (let y = 0; y < image.height && frame < 0; ++y) {
      const i = 4 * (y * image.width + Math.floor(image.width / 2));
      if (Math.max(pixels[i], pixels[i + 1], pixels[i + 2]) < 150) frame = y;
    }
    for (let y = frame < 0 ? 0 : frame + 12; y < image.height; ++y)
      for (let x = 0; x < image.width; ++x) {
        const i = 4 * (y * image.width + x);
        // Faint edge pixels count too (a tenth of the curve's colour).
        if (Math.max(pixels[i], pixels[i + 1], pixels[i + 2]) - Math.min(pixels[i], pixels[i + 1], pixels[i + 2]) > 16) {
          if (first < 0) first = y;
          last = y;
          break;
        }
      }
    return { first, last, frame };
  });
}

for (const { name: file, peak } of files) {
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
        magnitudePanels: document.querySelectorAll('g.magnitude rect.frame').length,
        svgs: document.querySelectorAll('svg').length,
        math: [...document.querySelectorAll('math')].map((m) => ({
          mathml: m.namespaceURI === 'http://www.w3.org/1998/Math/MathML',
          ...box(m),
        })),
        pairs: [...document.querySelectorAll('.pair')].map((p) =>
          [...p.querySelectorAll('.formula')].map(box)),
        tables: [...document.querySelectorAll('table')].map((t) => ({
          width: t.getBoundingClientRect().width,
          column: t.closest('section, main, body').getBoundingClientRect().width,
        })),
        roots: [...document.querySelectorAll('g.root')].map((g) => {
          const plane = g.closest('svg').querySelector('rect.frame').getBoundingClientRect();
          const r = g.getBoundingClientRect();
          return { value: g.dataset.value, re: Number(g.dataset.re), im: Number(g.dataset.im), x: r.x + r.width / 2 + window.scrollX, y: r.y + r.height / 2 + window.scrollY,
                   inside: r.x >= plane.x && r.y >= plane.y && r.right <= plane.right && r.bottom <= plane.bottom,
                   svg: [...document.querySelectorAll('svg')].indexOf(g.closest('svg')) };
        }),
      };
    });
    // Each fraction scrolled into view: numerator and denominator inside.
    const fractions = await page.evaluate(() => [...document.querySelectorAll('.frac')].map((f, k) => {
      f.scrollIntoView({ block: 'start' });
      const inside = (e) => {
        const r = e.getBoundingClientRect();
        return r.width > 0 && r.height > 0 && r.left >= -0.5 && r.top >= -0.5 &&
               r.right <= window.innerWidth + 0.5 && r.bottom <= window.innerHeight + 0.5;
      };
      const num = f.querySelector('.num'), den = f.querySelector('.den');
      return { k, ok: !!num && !!den && inside(num) && inside(den) };
    }));
    await page.evaluate(() => window.scrollTo(0, 0));
    fractions.forEach((f) => {
      if (!f.ok) failures.push(`${where}: formula ${f.k + 1}: numerator and denominator not both in view`);
    });
    layout.tables.forEach((t, k) => {
      if (t.width > t.column + 0.5) failures.push(`${where}: table ${k + 1} is ${t.width} px in a ${t.column} px column`);
    });
    layout.roots.forEach((a, i) => {
      if (!a.inside) failures.push(`${where}: root ${a.value} drawn outside its plane`);
      layout.roots.slice(i + 1).forEach((b) => {
        // Apart by a tenth of a decade in magnitude or a tenth of a radian
        // in angle: apart on the map.
        const apart = Math.abs(Math.log10(Math.hypot(a.re, a.im) / Math.hypot(b.re, b.im))) > 0.1 ||
                      Math.abs(Math.atan2(a.im, a.re) - Math.atan2(b.im, b.re)) > 0.1;
        if (a.svg === b.svg && apart && Math.hypot(a.x - b.x, a.y - b.y) < 5)
          failures.push(`${where}: roots ${a.value} and ${b.value} drawn on one spot`);
      });
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
    const rootSpots = await colouredPixels(png, layout.roots.map((r) => ({ x: r.x - 6, y: r.y - 6, width: 12, height: 12 })));
    rootSpots.forEach((count, k) => {
      // (Spots beyond a narrow viewport are scrolled out of the screenshot.)
      if (count < 4 && layout.roots[k].x + 6 <= width) failures.push(`${where}: root ${layout.roots[k].value} shows no marker`);
    });
    // At desktop width, where a bare drawing is wholly in view.
    if (peak !== null && width > 600 && layout.magnitudePanels > 0) {
      const drawn = await drawnPeak(url, { width, height: 800 });
      if (drawn === null || Math.abs(drawn - peak) > 0.1)
        failures.push(`${where}: peak drawn at ${drawn} dB, not within 0.1 dB of ${peak} dB`);
      else console.log(`${where}: peak drawn at ${drawn.toFixed(3)} dB (true ${peak} dB)`);
    }
    counts.forEach((count, k) => {
      if (count < 20) failures.push(`${where}: plot area ${k + 1} shows no curve or marker`);
    });
    console.log(`${where}: ${layout.plots.length} plot areas (coloured pixels ${counts.join(', ')}), ` +
                `${layout.math.length} MathML pieces in ${fractions.length} fractions, ${layout.pairs.length} exact/approximated pairs, ` +
                `${layout.roots.length} roots`);
    await context.close();
  }
}
await browser.close();
for (const f of failures) console.error(f);
process.exit(failures.length === 0 ? 0 : 1);

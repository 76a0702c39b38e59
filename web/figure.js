// The figure of one report as SVG, drawn as the desktop viewer draws it: the
// posterior density of the case's effect size Z-DCC from the summary of the
// draws, the point estimate as a solid line, the credible interval (or the
// one-sided limit) hatched between dashed lines, and a legend with the
// report's numbers.  Greys, hatching and line styles only, so it reads the
// same printed in black and white.

const WIDTH = 640;
const HEIGHT = 400;
const MARGIN_LEFT = 60;
const MARGIN_RIGHT = 16;
const PLOT_TOP = 68;
const PLOT_BOTTOM = 278;
const LEGEND_TOP = 330;
const LEGEND_LINE = 22;
const TITLE_PIXELS = 14;
const TEXT_PIXELS = 12;
const SMALLEST_PIXELS = 8;
const LEGEND_TEXT_LEFT = MARGIN_LEFT + 44;
const LARGEST_FIXED = 1e6;
const FONT = "'Liberation Sans', Arial, Helvetica, sans-serif";
const DENSITY_FILL = 'rgb(170,170,170)';
const BAND_FILL = 'rgb(232,232,232)';
const HATCH = 'rgb(110,110,110)';
const ASCENT = 0.905; // of the font's pixel size

let measureContext = null;
function textWidth(text, pixels, bold = false) {
  if (!measureContext) {
    const canvas = typeof OffscreenCanvas !== 'undefined' ? new OffscreenCanvas(1, 1) : document.createElement('canvas');
    measureContext = canvas.getContext('2d');
  }
  measureContext.font = `${bold ? 'bold ' : ''}${pixels}px ${FONT}`;
  return measureContext.measureText(text).width;
}

function fittingPixels(lines, pixels, width, bold = false) {
  for (; pixels > SMALLEST_PIXELS; --pixels) if (lines.every((l) => textWidth(l, pixels, bold) <= width)) break;
  return pixels;
}

function fixed(value, decimals, separator) {
  return value.toFixed(decimals).replace('.', separator);
}

// A number as the report writes it; a very large one in scientific notation.
function shown(value, decimals, separator) {
  if (Math.abs(value) < LARGEST_FIXED) return fixed(value, decimals, separator);
  const [mantissa, exponent] = value.toExponential(4).split('e');
  const sign = exponent[0] === '-' ? '-' : '+';
  const digits = exponent.replace(/^[+-]/, '').padStart(2, '0');
  return `${mantissa.replace('.', separator)}e${sign}${digits}`;
}

function grouped(count, groupSeparator) {
  const digits = String(count);
  let out = '';
  for (let i = 0; i < digits.length; ++i) {
    if (i > 0 && (digits.length - i) % 3 === 0) out += groupSeparator;
    out += digits[i];
  }
  return out;
}

function roundStep(step) {
  let power = 1;
  while (power > step) power /= 10;
  while (power * 10 <= step) power *= 10;
  for (const m of [1, 2, 2.5, 5]) if (m * power >= step * (1 - 1e-9)) return m * power;
  return 10 * power;
}

function decimalsFor(step) {
  for (let d = 0; d < 12; ++d) {
    const scaled = step * Math.pow(10, d);
    if (Math.abs(scaled - Math.round(scaled)) < 1e-6 * scaled) return d;
  }
  return 12;
}

function escapeXml(text) {
  return text.replace(/[<>&"']/g, (c) => ({ '<': '&lt;', '>': '&gt;', '&': '&amp;', '"': '&quot;', "'": '&apos;' })[c]);
}

function titleLines(a) {
  const test = a.options.test === 0 ? 'Standardized difference' : 'Unstandardized difference';
  const prior = a.options.test === 0 && a.options.prior === 0 ? 'calibrated prior' : 'standard-theory (Jeffreys) prior';
  const limits = ['95% credible interval', '95% one-sided lower limit', '95% one-sided upper limit'][a.options.limits];
  return ["Posterior distribution of the case's effect size Z-DCC", `${test}, ${prior}, ${limits}`];
}

function legendLines(a, sep, total) {
  const [, , pct, pctLower, pctUpper, zdcc, zLower, zUpper] = a.results;
  const pd = a.options.limits === 0 ? 3 : 4;
  const lines = [`Point estimate Z-DCC = ${shown(zdcc, 3, sep)}; ${shown(pct, pd, sep)}% of controls more extreme`];
  if (a.options.limits === 0)
    lines.push(
      `95% credible interval ${shown(zLower, 3, sep)} to ${shown(zUpper, 3, sep)}; ` +
        `${shown(pctLower, pd, sep)}% to ${shown(pctUpper, pd, sep)}% of controls more extreme`
    );
  else if (a.options.limits === 1)
    lines.push(`95% one-sided lower limit ${shown(zLower, 3, sep)}; at least ${shown(pctLower, pd, sep)}% of controls more extreme`);
  else
    lines.push(`95% one-sided upper limit ${shown(zUpper, 3, sep)}; at most ${shown(pctUpper, pd, sep)}% of controls more extreme`);
  lines.push(
    total > 0
      ? `Posterior density of Z-DCC from ${grouped(total, sep === ',' ? '.' : ',')} draws`
      : 'Posterior density of Z-DCC: no draws kept'
  );
  return lines;
}

function identityLine(a, sep, reportNumber) {
  let line = reportNumber > 0 ? `Report ${reportNumber}: ` : '';
  line += `case's scores X = ${shown(a.caseX, 2, sep)}, Y = ${shown(a.caseY, 2, sep)}`;
  const width = WIDTH - 16;
  const pixels = fittingPixels([line], TITLE_PIXELS, width, true);
  for (const note of a.notes) {
    const first = note.trim().replace(/\s+/g, ' ');
    if (!first) continue;
    const room = width - textWidth(line + '; ', pixels, true);
    let shownNote = first;
    if (textWidth(shownNote, pixels, true) > room) {
      while (shownNote.length > 0 && textWidth(shownNote + '\u2026', pixels, true) > room) shownNote = shownNote.slice(0, -1);
      shownNote = shownNote.length > 0 ? shownNote + '\u2026' : '';
    }
    if (shownNote) line += '; ' + shownNote;
    break;
  }
  return { line, pixels };
}

let figureCount = 0;

// The figure of `a` ({caseX, caseY, notes, options, results, summary}) as
// the text of an SVG element.
export function figureSvg(a, separator, reportNumber = 0) {
  const id = `hatch-${++figureCount}`;
  const d = a.summary;
  const [, , , , , zdcc, zLower, zUpper] = a.results;
  const total = d.counts.reduce((s, c) => s + c, 0) + d.below + d.above;
  const plot = { left: MARGIN_LEFT, top: PLOT_TOP, right: WIDTH - MARGIN_RIGHT, bottom: PLOT_BOTTOM };
  plot.width = plot.right - plot.left;
  plot.height = plot.bottom - plot.top;
  const high = d.low + d.binWidth * d.counts.length;
  let zLow, zHigh;
  if (d.counts.length > 0) {
    zLow = d.low;
    zHigh = high;
  } else {
    const room = Math.max((zUpper - zLower) / 2, 0.5);
    zLow = zLower - room;
    zHigh = zUpper + room;
  }
  const margin = (zHigh - zLow) / 40;
  zLow = Math.min(zLow, zdcc - margin);
  zHigh = Math.max(zHigh, zdcc + margin);
  if (!(zHigh - zLow > Math.abs(zHigh) * 1e-12)) {
    const room = Math.max(Math.abs(zdcc) * 1e-6, 0.5);
    zLow = zdcc - room;
    zHigh = zdcc + room;
  }
  const xOf = (z) => plot.left + ((z - zLow) / (zHigh - zLow)) * plot.width;
  let peak = 0;
  for (const c of d.counts) peak = Math.max(peak, c / (total * d.binWidth));
  const densityTop = peak > 0 ? peak * 1.12 : 1;
  const yOf = (density) => plot.bottom - (density / densityTop) * plot.height;
  const showsLower = a.options.limits !== 2;
  const showsUpper = a.options.limits !== 1;
  const lowerX = showsLower ? xOf(zLower) : null;
  const upperX = showsUpper ? xOf(zUpper) : null;
  const bandLeft = lowerX ?? plot.left;
  const bandRight = upperX ?? plot.right;
  const identity = identityLine(a, separator, reportNumber);
  const title = titleLines(a);
  const legend = legendLines(a, separator, total);
  const legendPixels = fittingPixels(legend, TEXT_PIXELS, WIDTH - LEGEND_TEXT_LEFT - 4);

  // The x axis's ticks: round values with room between their labels.
  const magnitude = Math.max(Math.abs(zLow), Math.abs(zHigh));
  const axisExponent = magnitude >= LARGEST_FIXED ? Math.floor(Math.log10(magnitude)) : 0;
  const unit = Math.pow(10, axisExponent);
  const low = zLow / unit;
  const highUnits = zHigh / unit;
  const pixelsPerUnit = plot.width / (highUnits - low);
  let step = roundStep((highUnits - low) / 7);
  let ticks = [];
  for (let attempt = 0; attempt < 40; ++attempt) {
    ticks = [];
    const decimals = decimalsFor(step);
    let widest = 0;
    const first = Math.ceil(low / step);
    for (let k = 0; k <= 60; ++k) {
      const z = (first + k) * step;
      if (z > highUnits + 1e-9 * step) break;
      const label = fixed(Math.abs(z) < 1e-9 * step ? 0 : z, decimals, separator);
      widest = Math.max(widest, textWidth(label, TEXT_PIXELS));
      ticks.push([xOf(z * unit), label]);
    }
    if (widest + 12 <= step * pixelsPerUnit) break;
    step = roundStep(step * 1.0001);
  }
  const quantity = axisExponent === 0 ? 'Z-DCC' : `Z-DCC in units of 10^${axisExponent}`;
  const axisCaption = `${quantity}, the difference between case and controls (Task X minus Task Y)`;

  const n = (v) => (Math.round(v * 100) / 100).toString();
  const text = (x, y, content, pixels, { bold = false, anchor = 'middle', baseline = 'central', extra = '' } = {}) =>
    `<text x="${n(x)}" y="${n(y)}" font-family="${escapeXml(FONT)}" font-size="${pixels}"` +
    `${bold ? ' font-weight="bold"' : ''} text-anchor="${anchor}" dominant-baseline="${baseline}" fill="black"${extra}>` +
    `${escapeXml(content)}</text>`;
  const parts = [];
  parts.push(
    `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 ${WIDTH} ${HEIGHT}" role="img" ` +
      `aria-label="${escapeXml(title[0] + '. ' + legend.join('. '))}">`
  );
  parts.push(
    `<defs><pattern id="${id}" width="8" height="8" patternUnits="userSpaceOnUse">` +
      `<path d="M-1,1 L1,-1 M0,8 L8,0 M7,9 L9,7" stroke="${HATCH}" stroke-width="1"/></pattern>` +
      `<clipPath id="${id}-clip"><rect x="${plot.left}" y="${plot.top}" width="${plot.width}" height="${plot.height}"/></clipPath></defs>`
  );
  parts.push(`<rect x="0" y="0" width="${WIDTH}" height="${HEIGHT}" fill="white"/>`);
  parts.push(text(WIDTH / 2, 14, identity.line, identity.pixels, { bold: true }));
  parts.push(text(WIDTH / 2, 34, title[0], TEXT_PIXELS + 1, { bold: true }));
  parts.push(text(WIDTH / 2, 52, title[1], TEXT_PIXELS));

  parts.push(`<g clip-path="url(#${id}-clip)">`);
  const band = `x="${n(bandLeft)}" y="${plot.top}" width="${n(Math.max(bandRight - bandLeft, 0))}" height="${plot.height}"`;
  parts.push(`<rect ${band} fill="${BAND_FILL}"/><rect ${band} fill="url(#${id})"/>`);
  if (d.counts.length > 0) {
    let path = `M${n(xOf(d.low))},${plot.bottom}`;
    d.counts.forEach((c, k) => {
      const y = yOf(c / (total * d.binWidth));
      path += ` L${n(xOf(d.low + d.binWidth * k))},${n(y)} L${n(xOf(d.low + d.binWidth * (k + 1)))},${n(y)}`;
    });
    path += ` L${n(xOf(high))},${plot.bottom} Z`;
    parts.push(`<path d="${path}" fill="${DENSITY_FILL}" fill-opacity="0.784" stroke="black" stroke-width="1"/>`);
  }
  for (const x of [lowerX, upperX])
    if (x !== null)
      parts.push(
        `<line x1="${n(x)}" y1="${plot.top}" x2="${n(x)}" y2="${plot.bottom}" stroke="black" stroke-width="1.6" stroke-dasharray="6.4 3.2"/>`
      );
  const ex = xOf(zdcc);
  parts.push(`<line x1="${n(ex)}" y1="${plot.top}" x2="${n(ex)}" y2="${plot.bottom}" stroke="black" stroke-width="3"/>`);
  parts.push('</g>');

  parts.push(`<rect x="${plot.left}" y="${plot.top}" width="${plot.width}" height="${plot.height}" fill="none" stroke="black" stroke-width="1"/>`);
  for (const [x, label] of ticks) {
    parts.push(`<line x1="${n(x)}" y1="${plot.bottom}" x2="${n(x)}" y2="${plot.bottom + 5}" stroke="black" stroke-width="1"/>`);
    parts.push(text(x, plot.bottom + 8 + ASCENT * TEXT_PIXELS, label, TEXT_PIXELS, { baseline: 'alphabetic' }));
  }
  parts.push(text(plot.left + plot.width / 2, plot.bottom + 34, axisCaption, TEXT_PIXELS));
  parts.push(
    text(0, -6, 'Posterior density', TEXT_PIXELS, {
      extra: ` transform="translate(${MARGIN_LEFT - 16},${n((plot.top + plot.bottom) / 2)}) rotate(-90)"`,
    })
  );

  legend.forEach((line, i) => {
    const y = LEGEND_TOP + i * LEGEND_LINE;
    const mid = y + LEGEND_LINE / 2 - 2;
    const left = MARGIN_LEFT;
    if (i === 0) {
      parts.push(`<line x1="${left}" y1="${mid}" x2="${left + 32}" y2="${mid}" stroke="black" stroke-width="3"/>`);
    } else if (i === 1) {
      const box = `x="${left}" y="${y + 2}" width="32" height="${LEGEND_LINE - 8}"`;
      parts.push(`<rect ${box} fill="${BAND_FILL}"/><rect ${box} fill="url(#${id})"/>`);
      for (const x of [left, left + 32])
        parts.push(`<line x1="${x}" y1="${y + 2}" x2="${x}" y2="${y + LEGEND_LINE - 6}" stroke="black" stroke-width="1.6" stroke-dasharray="6.4 3.2"/>`);
    } else {
      parts.push(`<rect x="${left}" y="${y + 2}" width="32" height="${LEGEND_LINE - 8}" fill="${DENSITY_FILL}" stroke="black" stroke-width="1"/>`);
    }
    parts.push(text(LEGEND_TEXT_LEFT, mid + (ASCENT * legendPixels) / 2 - 1, line, legendPixels, { anchor: 'start', baseline: 'alphabetic' }));
  });
  parts.push('</svg>');
  return parts.join('');
}

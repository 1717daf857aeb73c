// «Архив»: a quantity over a day, week, month or year, drawn as SVG from /api/v1/chart.
"use strict";

const svgNs = "http://www.w3.org/2000/svg";
let date = isoDate(new Date());
let chart = null;
let drawnWidth = 0;

function element(name, attributes, text) {
  const node = document.createElementNS(svgNs, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

// The labels under the chart: a day's hours, or a few dates spread over the period as the width allows.
function ticks(data, count, width) {
  if (data.hours) return [0, 6, 12, 18, 23].map((hour) => [hour, hour + ":00"]);
  const first = new Date(data.first + "T00:00");
  const shown = Math.max(2, Math.min(count, Math.floor(width / 90)));
  return Array.from({ length: shown }, (_, k) => {
    const i = Math.round((k * (count - 1)) / (shown - 1));
    const day = new Date(first.getFullYear(), first.getMonth(), first.getDate() + i);
    return [i, day.toLocaleDateString("ru-RU", { day: "2-digit", month: "2-digit" })];
  });
}

// A day: the line of its hours. Longer periods: per day the band from minimum to maximum and the
// line of the means. Drawn at the width it is shown, so its labels keep their size on a phone.
function draw(data, width) {
  const height = Math.round(Math.min(320, Math.max(200, width * 0.5)));
  const left = 44, right = 8, top = 10, bottom = 22;
  const series = data.hours ? data.hours.map((v) => [v, v, v]) : data.days;
  const values = series.flat().filter((v) => v !== null);
  const svg = element("svg", { width, height, viewBox: `0 0 ${width} ${height}`, role: "img", "aria-label": data.title });
  if (values.length === 0) {
    svg.appendChild(element("text", { x: width / 2, y: height / 2, "text-anchor": "middle", class: "label" }, "Нет данных за этот период"));
    return svg;
  }
  let low = Math.min(...values), high = Math.max(...values);
  if (high - low < 1) { low -= 0.5; high += 0.5; }
  const slot = (width - left - right) / series.length;
  const x = (i) => left + slot * (i + 0.5);
  const y = (v) => top + ((height - top - bottom) * (high - v)) / (high - low);
  for (const v of [low, (low + high) / 2, high]) {
    svg.appendChild(element("line", { x1: left, x2: width - right, y1: y(v), y2: y(v), class: "axis" }));
    svg.appendChild(element("text", { x: left - 6, y: y(v) + 4, "text-anchor": "end", class: "label" }, number(v)));
  }
  const bandWidth = Math.max(1, Math.min(8, slot * 0.6));
  let path = "";
  series.forEach(([min, mean, max], i) => {
    if (!data.hours && min !== null)
      svg.appendChild(element("rect", { x: x(i) - bandWidth / 2, y: y(max), width: bandWidth, height: Math.max(1, y(min) - y(max)), class: "band" }));
    if (mean !== null) path += (path && series[i - 1] && series[i - 1][1] !== null ? " L" : " M") + x(i) + " " + y(mean);
  });
  svg.appendChild(element("path", { d: path, class: "line" }));
  const labels = ticks(data, series.length, width - left - right);
  labels.forEach(([i, text], k) => {
    const anchor = k === 0 ? "start" : k === labels.length - 1 ? "end" : "middle";
    const at = anchor === "start" ? Math.max(left, x(i) - slot / 2) : anchor === "end" ? Math.min(width - right, x(i) + slot / 2) : x(i);
    svg.appendChild(element("text", { x: at, y: height - 6, "text-anchor": anchor, class: "label" }, text));
  });
  return svg;
}

function redraw() {
  const target = document.getElementById("chart");
  drawnWidth = Math.max(280, Math.floor(target.clientWidth));
  target.replaceChildren(draw(chart, drawnWidth));
}

async function load() {
  const quantity = document.getElementById("quantity").value;
  const period = document.getElementById("period").value;
  try {
    chart = await fetchJson(`/api/v1/chart?period=${period}&date=${date}&quantity=${quantity}`);
    document.getElementById("title").textContent = chart.name + ", " + chart.title;
    redraw();
    document.getElementById("statistics").textContent = chart.statistics;
    show("problem", "");
  } catch (error) {
    show("problem", error.message);
  }
}

document.getElementById("quantity").addEventListener("change", load);
document.getElementById("period").addEventListener("change", load);
document.getElementById("back").addEventListener("click", () => { if (chart) { date = chart.previous; load(); } });
document.getElementById("forward").addEventListener("click", () => { if (chart) { date = chart.next; load(); } });
// A phone turned, a window resized: the chart is drawn again for its new width.
new ResizeObserver(() => {
  if (chart && Math.floor(document.getElementById("chart").clientWidth) !== drawnWidth) redraw();
}).observe(document.getElementById("chart"));
load();

// «Архив»: a quantity over a day, week, month or year, drawn as SVG from /api/v1/chart.
"use strict";

const svgNs = "http://www.w3.org/2000/svg";
let date = new Date().toISOString().slice(0, 10);
let chart = null;

function element(name, attributes, text) {
  const node = document.createElementNS(svgNs, name);
  for (const [key, value] of Object.entries(attributes)) node.setAttribute(key, value);
  if (text !== undefined) node.textContent = text;
  return node;
}

// A day: the line of its hours. Longer periods: per day the band from minimum to maximum and the
// line of the means.
function draw(data) {
  const width = 640, height = 260, left = 40, bottom = 20, top = 10;
  const series = data.hours ? data.hours.map((v) => [v, v, v]) : data.days;
  const values = series.flat().filter((v) => v !== null);
  const svg = element("svg", { viewBox: `0 0 ${width} ${height}`, role: "img", "aria-label": data.title });
  if (values.length === 0) {
    svg.appendChild(element("text", { x: width / 2, y: height / 2, "text-anchor": "middle", class: "label" }, "Нет данных за этот период"));
    return svg;
  }
  let low = Math.min(...values), high = Math.max(...values);
  if (high - low < 1) { low -= 0.5; high += 0.5; }
  const x = (i) => left + ((width - left - 5) * (i + 0.5)) / series.length;
  const y = (v) => top + ((height - top - bottom) * (high - v)) / (high - low);
  for (const v of [low, (low + high) / 2, high]) {
    svg.appendChild(element("line", { x1: left, x2: width, y1: y(v), y2: y(v), class: "axis" }));
    svg.appendChild(element("text", { x: 2, y: y(v) + 4, class: "label" }, number(v)));
  }
  let path = "";
  series.forEach(([min, mean, max], i) => {
    if (!data.hours && min !== null)
      svg.appendChild(element("rect", { x: x(i) - 1.5, y: y(max), width: 3, height: Math.max(1, y(min) - y(max)), class: "band" }));
    if (mean !== null) path += (path && series[i - 1] && series[i - 1][1] !== null ? " L" : " M") + x(i) + " " + y(mean);
  });
  svg.appendChild(element("path", { d: path, class: "line" }));
  const first = data.hours ? "0:00" : data.first.split("-").reverse().join(".");
  const last = data.hours ? "23:00" : data.last.split("-").reverse().join(".");
  svg.appendChild(element("text", { x: left, y: height - 4, class: "label" }, first));
  svg.appendChild(element("text", { x: width - 5, y: height - 4, "text-anchor": "end", class: "label" }, last));
  return svg;
}

async function load() {
  const quantity = document.getElementById("quantity").value;
  const period = document.getElementById("period").value;
  try {
    chart = await fetchJson(`/api/v1/chart?period=${period}&date=${date}&quantity=${quantity}`);
    document.getElementById("title").textContent = chart.name + ", " + chart.title;
    document.getElementById("chart").replaceChildren(draw(chart));
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
load();

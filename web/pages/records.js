// «Рекорды и сводки»: the records, and the month's and year's summaries with their downloads.
"use strict";

const names = { outdoor: "На улице", indoor: "В доме", pressure: "Давление", humidity: "Влажность" };

function cell(row, text, header) {
  const node = document.createElement(header ? "th" : "td");
  node.textContent = text;
  row.appendChild(node);
}

function table(id, head, rows) {
  const target = document.getElementById(id);
  target.replaceChildren();
  const headRow = target.insertRow();
  head.forEach((text) => cell(headRow, text, true));
  for (const values of rows) {
    const row = target.insertRow();
    values.forEach((text) => cell(row, text, false));
  }
}

function extreme(record, unit) {
  if (!record) return "—";
  return number(record.value) + unitText(unit) + ", " + new Date(record.time).toLocaleDateString("ru-RU");
}

async function loadRecords() {
  const data = await fetchJson("/api/v1/records");
  const rows = [];
  for (const [key, record] of Object.entries(data.records)) {
    rows.push([names[key] + ": за всё время", extreme(record.high, record.unit), extreme(record.low, record.unit)]);
    for (const month of record.months)
      if (month.high) rows.push(["   " + month.name, extreme(month.high, record.unit), extreme(month.low, record.unit)]);
  }
  table("records", ["", "Наибольшее", "Наименьшее"], rows);
}

function summaryRows(data, key) {
  return data.rows.map((row) => [row[key]].concat(
    ["outdoor", "indoor", "pressure", "humidity"].map((q) => `${number(row[q].min)} … ${number(row[q].max)} (${number(row[q].mean)})`),
    [number(row.degreeDays)]));
}

function summaryHead(first) {
  return [first, "На улице, °C", "В доме, °C", "Давление, мм рт.ст.", "Влажность, %", "Градусо-сутки"];
}

function totals(id, data) {
  document.getElementById(id).textContent =
    `Градусо-сутки отопления (ниже ${number(data.heatingBase)} °C): ${number(data.total.degreeDays)}. ` +
    `Дней с морозом: ${data.total.frostDays}.`;
}

async function loadMonth() {
  const [year, month] = document.getElementById("month").value.split("-");
  const url = `/api/v1/summary/month?year=${year}&month=${Number(month)}`;
  document.getElementById("month-csv").href = url + "&format=csv";
  document.getElementById("month-text").href = url + "&format=text";
  const data = await fetchJson(url);
  table("month-summary", summaryHead("Дата"), summaryRows(data, "date"));
  totals("month-totals", data);
}

async function loadYear() {
  const url = `/api/v1/summary/year?year=${document.getElementById("year").value}`;
  document.getElementById("year-csv").href = url + "&format=csv";
  document.getElementById("year-text").href = url + "&format=text";
  const data = await fetchJson(url);
  table("year-summary", summaryHead("Месяц"), summaryRows(data, "month"));
  totals("year-totals", data);
}

function reportProblem(error) {
  show("problem", error.message);
}

const today = new Date();
document.getElementById("month").value = today.toISOString().slice(0, 7);
document.getElementById("year").value = today.getFullYear();
document.getElementById("month").addEventListener("change", () => loadMonth().catch(reportProblem));
document.getElementById("year").addEventListener("change", () => loadYear().catch(reportProblem));
loadRecords().catch(reportProblem);
loadMonth().catch(reportProblem);
loadYear().catch(reportProblem);

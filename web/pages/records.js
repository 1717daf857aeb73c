// «Рекорды и сводки»: the records, and the month's and year's summaries with their downloads.
"use strict";

const names = { outdoor: "На улице", indoor: "В доме", pressure: "Давление", humidity: "Влажность" };

function cell(row, text, header) {
  const node = document.createElement(header ? "th" : "td");
  node.textContent = text;
  row.appendChild(node);
}

// A row may carry a class of its own (an array with `className`), as the records' months do.
function table(id, head, rows) {
  const target = document.getElementById(id);
  target.replaceChildren();
  const headRow = target.insertRow();
  head.forEach((text) => cell(headRow, text, true));
  for (const values of rows) {
    const row = target.insertRow();
    if (values.className) row.className = values.className;
    values.forEach((text) => cell(row, text, false));
  }
}

// The value, its date on a line of its own: the table stays narrow enough for a phone.
function extreme(record, unit) {
  if (!record) return "—";
  return number(record.value) + unitText(unit) + "\n" + new Date(record.time).toLocaleDateString("ru-RU");
}

async function loadRecords() {
  const data = await fetchJson("/api/v1/records");
  const rows = [];
  for (const key of quantities) {
    const record = data.records[key];
    rows.push([names[key] + ": за всё время", extreme(record.high, record.unit), extreme(record.low, record.unit)]);
    for (const month of record.months)
      if (month.high)
        rows.push(Object.assign([month.name, extreme(month.high, record.unit), extreme(month.low, record.unit)], { className: "month" }));
  }
  table("records", ["", "Наибольшее", "Наименьшее"], rows);
}

// «−3 … 1 (−1)»: the lowest, the highest and the mean; a dash alone where there was no value.
function range(values) {
  if (values.min === null) return "—";
  return `${number(values.min)} … ${number(values.max)} (${number(values.mean)})`;
}

// A day as «10.11.2025», a month by its name.
function rowName(row) {
  if (row.date) return dateText(row.date);
  const [year, month] = row.month.split("-").map(Number);
  return new Date(year, month - 1, 1).toLocaleDateString("ru-RU", { month: "long" });
}

function summaryRows(data) {
  // No degree-days where no outdoor temperature was kept: a dash rather than a false 0.
  return data.rows.map((row) => [rowName(row)].concat(quantities.map((q) => range(row[q])),
    [row.outdoor.mean === null ? "—" : number(row.degreeDays)]));
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
  table("month-summary", summaryHead("Дата"), summaryRows(data));
  totals("month-totals", data);
}

async function loadYear() {
  const url = `/api/v1/summary/year?year=${document.getElementById("year").value}`;
  document.getElementById("year-csv").href = url + "&format=csv";
  document.getElementById("year-text").href = url + "&format=text";
  const data = await fetchJson(url);
  table("year-summary", summaryHead("Месяц"), summaryRows(data));
  totals("year-totals", data);
}

function reportProblem(error) {
  show("problem", error.message);
}

const today = new Date();
document.getElementById("month").value = isoDate(today).slice(0, 7);
document.getElementById("year").value = today.getFullYear();
document.getElementById("month").addEventListener("change", () => loadMonth().catch(reportProblem));
document.getElementById("year").addEventListener("change", () => loadYear().catch(reportProblem));
loadRecords().catch(reportProblem);
loadMonth().catch(reportProblem);
loadYear().catch(reportProblem);

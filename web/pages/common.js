// What the pages share: reading the API and writing numbers and dates the Russian way.
"use strict";

// The API's quantities in the order every page shows them.
const quantities = ["outdoor", "indoor", "pressure", "humidity"];

async function fetchJson(url) {
  const response = await fetch(url, { credentials: "same-origin" });
  const body = await response.json().catch(() => ({}));
  if (!response.ok) throw new Error(body.error || "Сервер ответил " + response.status);
  return body;
}

function number(value, digits = 1) {
  if (value === null || value === undefined) return "—";
  return value.toLocaleString("ru-RU", { maximumFractionDigits: digits });
}

function unitText(unit) {
  return unit === "mmHg" ? " мм рт.ст." : unit === "%" ? "%" : unit;
}

// The day of this computer's calendar as the API writes it (toISOString would give the UTC day,
// which is another one for hours around midnight).
function isoDate(date) {
  const pad = (value) => String(value).padStart(2, "0");
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
}

// «2025-11-10» as «10.11.2025».
function dateText(iso) {
  return iso.split("-").reverse().join(".");
}

function show(id, text) {
  const element = document.getElementById(id);
  element.textContent = text;
  element.hidden = !text;
}

// What the pages share: reading the API and writing numbers the Russian way.
"use strict";

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

function show(id, text) {
  const element = document.getElementById(id);
  element.textContent = text;
  element.hidden = !text;
}

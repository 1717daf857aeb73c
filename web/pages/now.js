// «Сейчас»: the current reading, kept live over the server's event stream.
"use strict";

// The number large, its unit smaller beside it, so «746 мм рт.ст.» fits a phone's half width.
function showValue(target, reading) {
  if (reading.value === null) {
    target.textContent = "—";
    return;
  }
  const unit = document.createElement("span");
  unit.className = "unit";
  unit.textContent = unitText(reading.unit);
  target.replaceChildren(number(reading.value), unit);
}

function render(current) {
  for (const key of quantities) showValue(document.getElementById(key), current.readings[key]);
  document.getElementById("trend").textContent = current.trend || "";
  document.getElementById("forecast").textContent = current.forecast || "";
  document.getElementById("state").textContent = current.state;
  document.getElementById("time").textContent =
    current.time ? new Date(current.time).toLocaleString("ru-RU") : "—";
}

function listen() {
  const events = new EventSource("/api/v1/stream");
  let lost = false;
  let restoredShown = 0;
  events.addEventListener("current", (event) => render(JSON.parse(event.data)));
  // The stream's state is on the page too: the values grey out while they may be old.
  events.onopen = () => {
    if (lost) {
      // The good news stays a few seconds, then leaves the screen to the readings.
      show("link", "Связь восстановлена.");
      clearTimeout(restoredShown);
      restoredShown = setTimeout(() => show("link", ""), 8000);
    }
    lost = false;
    document.body.dataset.stream = "open";
  };
  // The browser reconnects by itself; meanwhile the page says the numbers may be old.
  events.onerror = () => {
    lost = true;
    clearTimeout(restoredShown);
    document.body.dataset.stream = "lost";
    show("link", "Связь с компьютером потеряна, переподключаемся… Показания могут быть устаревшими.");
  };
}

fetchJson("/api/v1/current").then(render).catch((error) => show("link", error.message));
listen();

// «Сейчас»: the current reading, kept live over the server's event stream.
"use strict";

const quantities = ["outdoor", "indoor", "pressure", "humidity"];

function render(current) {
  for (const key of quantities) {
    const reading = current.readings[key];
    document.getElementById(key).textContent =
      reading.value === null ? "—" : number(reading.value) + unitText(reading.unit);
  }
  document.getElementById("trend").textContent = current.trend || "";
  document.getElementById("forecast").textContent = current.forecast || "";
  document.getElementById("state").textContent = current.state;
  document.getElementById("time").textContent =
    current.time ? new Date(current.time).toLocaleString("ru-RU") : "—";
}

function listen() {
  const events = new EventSource("/api/v1/stream");
  let lost = false;
  events.addEventListener("current", (event) => render(JSON.parse(event.data)));
  events.onopen = () => {
    if (lost) show("link", "Связь восстановлена.");
    lost = false;
  };
  // The browser reconnects by itself; meanwhile the page says the numbers may be old.
  events.onerror = () => {
    lost = true;
    show("link", "Связь с компьютером потеряна, переподключаемся… Показания могут быть устаревшими.");
  };
}

fetchJson("/api/v1/current").then(render).catch((error) => show("link", error.message));
listen();

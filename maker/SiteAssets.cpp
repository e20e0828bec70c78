// The site's style sheet and scripts. The scripts build every element with the DOM and
// set text with textContent, never as markup, so nothing a result holds runs as code.

#include <cstdio>

#include "maker/SafeText.h"
#include "maker/SitePages.h"
#include "view/ChartModel.h"

namespace vorn {

namespace {

constexpr const char* kStyle = R"css(body { font-family: sans-serif; margin: 1em; color: #222; }
table { border-collapse: collapse; font-size: 0.9em; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.4em; }
#results th[data-key] { cursor: pointer; background: #eee; }
#results th[aria-sort="ascending"]::after { content: " \25B2"; }
#results th[aria-sort="descending"]::after { content: " \25BC"; }
#results td[data-v] { text-align: right; }
#results td[data-v], #results td:last-child { white-space: nowrap; }
table.figures th { text-align: left; background: #eee; }
.charts svg { margin: 0.5em; border: 1px solid #ddd; background: #fff; }
a.off { pointer-events: none; color: #888; }
)css";

constexpr const char* kTableScript = R"js(
  const table = document.getElementById("results");
  if (!table) return;
  const body = table.tBodies[0];
  const heads = Array.from(table.tHead.rows[0].cells);
  let sorted = { key: null, ascending: true };

  // A cell's value, or null when empty: empty cells sort last either way.
  function valueOf(row, index, numeric) {
    const cell = row.cells[index];
    if (numeric) {
      return cell.dataset.v === undefined ? null : Number(cell.dataset.v);
    }
    const text = cell.textContent.trim();
    return text === "" ? null : text;
  }

  function sortBy(head) {
    const index = head.cellIndex;
    const numeric = head.dataset.type === "num";
    const ascending = sorted.key === head.dataset.key ? !sorted.ascending : true;
    sorted = { key: head.dataset.key, ascending: ascending };
    const rows = Array.from(body.rows);
    rows.sort(function (a, b) {
      const x = valueOf(a, index, numeric);
      const y = valueOf(b, index, numeric);
      if (x === null || y === null) return (x === null) - (y === null);
      const order = numeric ? x - y : x.localeCompare(y);
      return ascending ? order : -order;
    });
    const fragment = document.createDocumentFragment();
    rows.forEach(function (row) { fragment.appendChild(row); });
    body.appendChild(fragment);
    heads.forEach(function (h) { h.removeAttribute("aria-sort"); });
    head.setAttribute("aria-sort", ascending ? "ascending" : "descending");
  }

  heads.forEach(function (head) {
    if (!head.dataset.key) return;
    head.addEventListener("click", function () { sortBy(head); });
    head.addEventListener("keydown", function (event) {
      if (event.key === "Enter" || event.key === " ") { event.preventDefault(); sortBy(head); }
    });
  });

  const compare = document.getElementById("compare");
  function chosenChanged() {
    const boxes = Array.from(body.querySelectorAll("input[type=checkbox]"));
    const chosen = boxes.filter(function (box) { return box.checked; });
    boxes.forEach(function (box) { box.disabled = !box.checked && chosen.length >= MAX_RESULTS; });
    const ids = chosen.map(function (box) { return encodeURIComponent(box.value); });
    compare.href = "compare.html?ids=" + ids.join(",");
    compare.textContent = "Compare (" + chosen.length + ")";
    compare.classList.toggle("off", chosen.length === 0);
  }
  if (compare) {
    body.addEventListener("change", chosenChanged);
    chosenChanged();
  }
})();
)js";

constexpr const char* kCompareScript = R"js(
  const SVG = "http://www.w3.org/2000/svg";
  const ids = (new URLSearchParams(window.location.search).get("ids") || "").split(",")
    .filter(function (id) { return /^[A-Za-z0-9_-]{1,64}$/.test(id); }).slice(0, MAX_RESULTS);

  function element(name, attributes, text) {
    const node = document.createElementNS(SVG, name);
    Object.keys(attributes).forEach(function (key) { node.setAttribute(key, String(attributes[key])); });
    if (text !== undefined) node.textContent = text;
    return node;
  }

  // Round ticks: 1, 2 or 5 times a power of ten, about five of them.
  function niceStep(span) {
    if (!(span > 0)) return 0;
    const raw = span / 5;
    const power = Math.pow(10, Math.floor(Math.log10(raw)));
    for (const m of [1, 2, 5]) if (m * power >= raw * (1 - 1e-9)) return m * power;
    return 10 * power;
  }

  function axis(svg, plot, axisMax, unit) {
    const step = niceStep(axisMax);
    for (let k = 0; step > 0 && k * step <= axisMax * (1 + 1e-9); ++k) {
      const y = plot.yOf(k * step);
      svg.appendChild(element("line", { x1: plot.left, y1: y, x2: plot.left + plot.width, y2: y, stroke: "#ddd" }));
      svg.appendChild(element("text", { x: plot.left - 4, y: y + 4, "text-anchor": "end", "font-size": 11 },
        String(Number((k * step).toPrecision(12)))));
    }
    const bottom = plot.top + plot.height;
    svg.appendChild(element("line", { x1: plot.left, y1: plot.top, x2: plot.left, y2: bottom, stroke: "#444" }));
    svg.appendChild(element("line", { x1: plot.left, y1: bottom, x2: plot.left + plot.width, y2: bottom, stroke: "#444" }));
    const middle = plot.top + plot.height / 2;
    svg.appendChild(element("text", { x: 12, y: middle, "font-size": 11, "text-anchor": "middle",
      transform: "rotate(-90 12 " + middle + ")" }, unit));
  }

  // The same layout as the result pages' charts: grouped bars, a colour per result.
  function chart(title, categories, series, axisMax) {
    const width = 600, height = 300;
    const plot = { left: 56, top: 32, width: width - 68, height: height - 68 };
    plot.yOf = function (v) {
      const share = axisMax > 0 ? Math.min(Math.max(v / axisMax, 0), 1) : 0;
      return plot.top + plot.height * (1 - share);
    };
    const svg = element("svg", { width: width, height: height, viewBox: "0 0 " + width + " " + height,
      role: "img", "aria-label": title });
    svg.appendChild(element("text", { x: width / 2, y: 20, "text-anchor": "middle", "font-size": 14 }, title));
    axis(svg, plot, axisMax, "MB/s");
    const group = plot.width / Math.max(categories.length, 1);
    const barWidth = group * 0.8 / Math.max(series.length, 1);
    categories.forEach(function (label, c) {
      series.forEach(function (s, i) {
        const bar = s.values[c];
        if (!bar) return;
        const x = plot.left + group * c + group * 0.1 + barWidth * i;
        const y = plot.yOf(bar.value);
        const rect = element("rect", { x: x, y: y, width: barWidth, height: plot.top + plot.height - y, fill: s.colour });
        rect.appendChild(element("title", {}, bar.hint));
        svg.appendChild(rect);
      });
      svg.appendChild(element("text", { x: plot.left + group * (c + 0.5), y: plot.top + plot.height + 16,
        "text-anchor": "middle", "font-size": 11 }, label));
    });
    return svg;
  }

  // The largest floor(v) + 1 over every bar, as the chart window takes its axis.
  function axisOf(values) {
    return values.reduce(function (top, v) { return Math.max(top, Math.floor(v) + 1); }, 0);
  }

  function speedChart(results, key, title, axisMax) {
    const sizes = new Map();
    results.forEach(function (r) { r[key].forEach(function (bar) { sizes.set(bar[0], bar[1]); }); });
    const order = Array.from(sizes.keys()).sort(function (a, b) { return a - b; });
    const series = results.map(function (r, i) {
      return { colour: COLOURS[i], values: order.map(function (size) {
        const bar = r[key].find(function (b) { return b[0] === size; });
        return bar ? { value: bar[2], hint: bar[2].toFixed(2) + " MB/s" } : null;
      }) };
    });
    return chart(title, order.map(function (size) { return sizes.get(size); }), series, axisMax);
  }

  function extendedChart(results, key, title, axisMax) {
    const series = results.map(function (r, i) {
      return { colour: COLOURS[i], values: r[key].map(function (bar) {
        return bar ? { value: bar[0], hint: bar[1] } : null;
      }) };
    });
    return chart(title, EXTENDED, series, axisMax);
  }

  function figures(results) {
    const table = document.createElement("table");
    table.className = "figures";
    const head = table.insertRow();
    head.appendChild(document.createElement("th"));
    results.forEach(function (r, i) {
      const th = document.createElement("th");
      const link = document.createElement("a");
      link.href = "r/" + r.name + ".html";
      link.textContent = r.title;
      link.style.color = COLOURS[i];
      th.appendChild(link);
      head.appendChild(th);
    });
    results[0].figures.forEach(function (figure, f) {
      const row = table.insertRow();
      const th = document.createElement("th");
      th.textContent = figure[0];
      row.appendChild(th);
      results.forEach(function (r) { row.insertCell().textContent = r.figures[f] ? r.figures[f][1] : ""; });
    });
    return table;
  }

  function draw(results) {
    const place = document.getElementById("figures");
    if (results.length === 0) {
      place.textContent = "No results chosen, or none of them found.";
      return;
    }
    place.appendChild(figures(results));
    const charts = document.getElementById("charts");
    const speeds = [];
    results.forEach(function (r) { r.read.concat(r.write).forEach(function (b) { speeds.push(b[2]); }); });
    const axisMax = axisOf(speeds);
    charts.appendChild(speedChart(results, "read", "Read Speed (higher is better)", axisMax));
    charts.appendChild(speedChart(results, "write", "Write Speed (higher is better)", axisMax));
    const extended = [];
    results.forEach(function (r) {
      r.extRead.concat(r.extWrite).forEach(function (b) { if (b) extended.push(b[0]); });
    });
    if (extended.length === 0) return;
    const extendedMax = axisOf(extended);
    charts.appendChild(extendedChart(results, "extRead", "Extended Read (higher is better)", extendedMax));
    charts.appendChild(extendedChart(results, "extWrite", "Extended Write (higher is better)", extendedMax));
  }

  // A result's data is in its page; DOMParser runs nothing of what it parses.
  function dataOf(page) {
    const node = new DOMParser().parseFromString(page, "text/html").getElementById(DATA_ID);
    return node ? JSON.parse(node.textContent) : null;
  }

  Promise.all(ids.map(function (id) {
    return fetch("r/" + id + ".html").then(function (r) { return r.ok ? r.text() : null; })
      .then(function (page) { return page === null ? null : dataOf(page); })
      .catch(function () { return null; });
  })).then(function (list) { draw(list.filter(Boolean)); });
})();
)js";

// The facts the scripts share with the program: how many results are compared, the
// chart window's colours in device order and the extended tests' names.
std::string scriptConstants() {
    std::string colours;
    for (const uint32_t colour : driveColours) {
        char text[16];
        std::snprintf(text, sizeof text, "\"#%06X\"", static_cast<unsigned>(bgrToRgb(colour)));
        colours += (colours.empty() ? "" : ", ") + std::string(text);
    }
    std::string extended;
    for (const std::string& label : extendedCategories()) {
        extended += (extended.empty() ? "" : ", ") + jsonString(label);
    }
    return "  const MAX_RESULTS = " + std::to_string(kMaxChartResults) + ";\n  const COLOURS = [" +
           colours + "];\n  const EXTENDED = [" + extended + "];\n  const DATA_ID = \"" +
           kResultDataId + "\";\n";
}

}  // namespace

std::string styleSheet() {
    return kStyle;
}

std::string tableScript() {
    return "\"use strict\";\n(function () {\n  const MAX_RESULTS = " +
           std::to_string(kMaxChartResults) + ";" + kTableScript;
}

std::string compareScript() {
    return "\"use strict\";\n(function () {\n" + scriptConstants() + kCompareScript;
}

}  // namespace vorn

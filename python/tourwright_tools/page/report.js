// Links the map, the timeline and the table of a tour report: hovering or selecting a stop
// marks it in all three; the table sorts by any column and filters; the map pans and zooms.
(function () {
  "use strict";
  var table = document.getElementById("stops"), body = table.tBodies[0];
  var rows = Array.prototype.filter.call(body.rows, function (row) {
    return !row.classList.contains("break");
  });
  // The rows of breaks go with the row of their stop, sorted or filtered.
  var breaksOf = {};
  body.querySelectorAll("tr.break").forEach(function (row) {
    var stop = row.getAttribute("data-stop");
    (breaksOf[stop] = breaksOf[stop] || []).push(row);
  });
  function withBreaks(row) {
    return [row].concat(breaksOf[row.getAttribute("data-stop")] || []);
  }
  var map = document.querySelector("svg.map");
  var hovered = null, selected = null, dragged = false;
  // The elements of each stop in all three views, gathered once.
  var byStop = {};
  document.querySelectorAll("[data-stop]").forEach(function (element) {
    var stop = element.getAttribute("data-stop");
    (byStop[stop] = byStop[stop] || []).push(element);
  });

  function parts(stop) {
    return byStop[stop] || [];
  }
  function mark(stop, name, on) {
    parts(stop).forEach(function (element) { element.classList.toggle(name, on); });
  }
  function stopOf(target) {
    var element = target.closest ? target.closest("[data-stop]") : null;
    return element ? element.getAttribute("data-stop") : null;
  }
  function centre(container, element) {
    var box = container.getBoundingClientRect(), it = element.getBoundingClientRect();
    container.scrollTop += it.top - box.top - (box.height - it.height) / 2;
  }
  function select(stop, origin) {
    if (selected !== null) mark(selected, "sel", false);
    selected = stop === selected ? null : stop;
    if (selected === null) return;
    mark(selected, "sel", true);
    // Bring the stop into view in the table and the timeline, unless it was picked there.
    document.querySelectorAll(".scroll").forEach(function (container) {
      var element = container.querySelector("[data-stop=\"" + stop + "\"]");
      if (element && !container.contains(origin)) centre(container, element);
    });
  }

  document.addEventListener("mouseover", function (event) {
    var stop = stopOf(event.target);
    if (stop === hovered) return;
    if (hovered !== null) mark(hovered, "hl", false);
    hovered = stop;
    if (stop !== null) mark(stop, "hl", true);
  });
  document.addEventListener("click", function (event) {
    var stop = stopOf(event.target);
    if (stop !== null && !dragged) select(stop, event.target);
  });
  table.addEventListener("keydown", function (event) {
    var stop = stopOf(event.target);
    if (stop !== null && (event.key === "Enter" || event.key === " ")) {
      event.preventDefault();
      select(stop, event.target);
    }
  });

  function sortKey(row, column, numeric) {
    var cell = row.cells[column], value = cell.getAttribute("data-sort");
    if (value === null) value = cell.textContent;
    return numeric ? parseFloat(value) : value.toLowerCase();
  }
  table.querySelectorAll("thead th").forEach(function (header, column) {
    header.addEventListener("click", function () {
      var ascending = header.getAttribute("aria-sort") !== "ascending";
      var numeric = header.getAttribute("data-type") === "number";
      var keyed = rows.map(function (row) {
        return { row: row, key: sortKey(row, column, numeric), number: sortKey(row, 0, true) };
      });
      keyed.sort(function (a, b) {
        var order = numeric ? a.key - b.key : a.key.localeCompare(b.key);
        return (ascending ? order : -order) || a.number - b.number;
      });
      rows = keyed.map(function (entry) { return entry.row; });
      rows.forEach(function (row) {
        withBreaks(row).forEach(function (each) { body.appendChild(each); });
      });
      table.querySelectorAll("thead th").forEach(function (other) {
        other.removeAttribute("aria-sort");
      });
      header.setAttribute("aria-sort", ascending ? "ascending" : "descending");
    });
  });

  var filter = document.getElementById("filter"), lateOnly = document.getElementById("late-only");
  var shown = document.getElementById("shown");
  function applyFilter() {
    var words = filter.value.trim().toLowerCase(), count = 0;
    rows.forEach(function (row) {
      var own = withBreaks(row);
      var keep = (!words || row.textContent.toLowerCase().indexOf(words) >= 0) &&
        (!lateOnly.checked || row.classList.contains("late"));
      count += keep ? 1 : 0;
      own.forEach(function (each) { each.hidden = !keep; });
      parts(row.getAttribute("data-stop")).forEach(function (element) {
        if (own.indexOf(element) < 0) element.classList.toggle("dim", !keep);
      });
    });
    shown.textContent = count + " of " + rows.length + " stops";
  }
  filter.addEventListener("input", applyFilter);
  lateOnly.addEventListener("change", applyFilter);
  applyFilter();

  if (!map) return;
  var box = map.viewBox.baseVal, home = [box.x, box.y, box.width, box.height];
  var view = home.slice(), grip = null;
  function show() { map.setAttribute("viewBox", view.join(" ")); }
  function point(event) {
    var frame = map.getBoundingClientRect();
    return [view[0] + (event.clientX - frame.left) / frame.width * view[2],
            view[1] + (event.clientY - frame.top) / frame.height * view[3]];
  }
  function zoom(factor, x, y) {
    factor = Math.min(Math.max(factor, home[2] / 40 / view[2]), home[2] / view[2]);
    view = [x - (x - view[0]) * factor, y - (y - view[1]) * factor,
            view[2] * factor, view[3] * factor];
    show();
  }
  map.addEventListener("wheel", function (event) {
    event.preventDefault();
    var at = point(event);
    zoom(event.deltaY > 0 ? 1.25 : 0.8, at[0], at[1]);
  }, { passive: false });
  map.addEventListener("pointerdown", function (event) {
    grip = { x: event.clientX, y: event.clientY, view: view.slice() };
    dragged = false;
  });
  map.addEventListener("pointermove", function (event) {
    if (!grip) return;
    var frame = map.getBoundingClientRect();
    var dx = event.clientX - grip.x, dy = event.clientY - grip.y;
    if (!dragged && Math.abs(dx) + Math.abs(dy) < 4) return;
    if (!dragged) map.setPointerCapture(event.pointerId);
    dragged = true;
    map.classList.add("dragging");
    view[0] = grip.view[0] - dx / frame.width * view[2];
    view[1] = grip.view[1] - dy / frame.height * view[3];
    show();
  });
  function release() {
    grip = null;
    map.classList.remove("dragging");
    // The click that ends a drag is not a selection.
    setTimeout(function () { dragged = false; }, 0);
  }
  map.addEventListener("pointerup", release);
  map.addEventListener("pointercancel", release);
  document.querySelectorAll("button[data-zoom]").forEach(function (button) {
    button.addEventListener("click", function () {
      var how = button.getAttribute("data-zoom");
      if (how === "reset") {
        view = home.slice();
        show();
      } else {
        zoom(how === "in" ? 0.7 : 1 / 0.7, view[0] + view[2] / 2, view[1] + view[3] / 2);
      }
    });
  });
}());

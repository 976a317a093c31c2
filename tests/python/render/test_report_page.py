"""The report page in headless Chromium: it loads without errors or any request beyond its own
file, lists every stop, sorts, filters, and marks a stop in the map, timeline and table at once.
Screenshots at 25 and 400 stops are kept in tests/python/artifacts/ for a person to look at."""

import importlib.resources
import json
import pathlib
import shutil

import pytest
from conftest import planned_day, working_week
from tourwright_tools import read_json, solve_problem

ARTIFACTS = pathlib.Path(__file__).resolve().parents[1] / "artifacts"
CHROMIUM, DRIVER = shutil.which("chromium"), shutil.which("chromedriver")
pytestmark = pytest.mark.skipif(
    not (CHROMIUM and DRIVER), reason="chromium and chromedriver are not installed"
)


@pytest.fixture(scope="module")
def browser():
    webdriver = pytest.importorskip("selenium.webdriver")
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1400,1000"):
        options.add_argument(argument)
    options.binary_location = CHROMIUM
    options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
    driver = webdriver.Chrome(options=options, service=webdriver.ChromeService(DRIVER))
    yield driver
    driver.quit()


@pytest.fixture(scope="module", params=[25, 400])
def page(request, browser, tmp_path_factory):
    """The page of a tour of the bundled example (25 stops) or of a planned day of 400, open."""
    if request.param == 25:
        bundled = importlib.resources.files("tourwright_tools") / "example.json"
        with importlib.resources.as_file(bundled) as path:
            problem = read_json(path)
        tour = solve_problem(problem, max_descents=2, seed=1)
    else:
        problem = planned_day(request.param)
        tour = solve_problem(problem, depot=0)
    html = tour.to_html(problem)
    path = tmp_path_factory.mktemp("page") / "tour.html"
    path.write_text(html, encoding="utf-8")
    browser.get_log("performance")  # the log of what came before
    browser.get(path.as_uri())
    return browser, tour, html, path


def script(browser, code, *arguments):
    return browser.execute_script(code, *arguments)


def test_page_loads_offline_without_errors_and_lists_every_stop(page):
    browser, tour, html, path = page
    assert "http" not in html  # no address to fetch anything from
    messages = [json.loads(entry["message"])["message"] for entry in browser.get_log("performance")]
    requested = [
        m["params"]["request"]["url"]
        for m in messages
        if m["method"] == "Network.requestWillBeSent"
    ]
    assert requested == [path.as_uri()]
    logged = browser.get_log("browser")
    assert [entry for entry in logged if entry["level"] in ("SEVERE", "WARNING")] == []
    stops = len(tour.route)
    assert script(browser, "return document.querySelectorAll('#stops tbody tr').length") == stops
    assert browser.find_element("id", "shown").text == f"{stops} of {stops} stops"
    ARTIFACTS.mkdir(exist_ok=True)
    browser.save_screenshot(str(ARTIFACTS / f"report-{len(tour.route)}-stops.png"))
    # The map's labels, measured as drawn, never cover one another.
    boxes = script(
        browser,
        """return Array.from(document.querySelectorAll('svg.map g.stop text'),
        t => { const b = t.getBBox(); return [b.x, b.y, b.x + b.width, b.y + b.height]; });""",
    )
    assert len(boxes) > min(len(tour.route), 100) // 2
    crossing = [
        (a, b)
        for i, a in enumerate(boxes)
        for b in boxes[i + 1 :]
        if all(a[k] < b[k + 2] - 0.5 and b[k] < a[k + 2] - 0.5 for k in (0, 1))
    ]
    assert crossing == []


def test_table_sorts_filters_and_a_stop_is_marked_in_all_three_views(page):
    browser, tour, _, _ = page
    cells = (
        "return Array.from(document.querySelectorAll('#stops tbody tr:not([hidden])'),"
        " r => r.cells[%d].textContent)"
    )
    header = browser.find_elements("css selector", "#stops thead th")
    header[2].click()  # name
    names = script(browser, cells % 2)
    assert names == sorted(names, key=str.lower) and len(names) == len(tour.route)
    header[3].click()
    header[3].click()  # arrival, latest first
    assert script(browser, cells % 0)[-1] == "1"
    assert header[3].get_attribute("aria-sort") == "descending"
    search = browser.find_element("id", "filter")
    search.send_keys(script(browser, cells % 2)[5])
    assert 1 <= len(script(browser, cells % 2)) < len(tour.route)
    search.clear()
    search.send_keys(" ")  # an input event for the cleared box
    assert len(script(browser, cells % 2)) == len(tour.route)

    from selenium.webdriver import ActionChains

    stop = len(tour.route) // 2
    marked = (
        f"return Array.from(document.querySelectorAll('[data-stop=\"{stop}\"].%s'), e => e.tagName)"
    )
    row = browser.find_element("css selector", f'#stops tbody tr[data-stop="{stop}"]')
    ActionChains(browser).move_to_element(row).perform()
    assert sorted(script(browser, marked % "hl")) == ["TR", "g", "g"]
    dot = browser.find_element("css selector", f'svg.map g.stop[data-stop="{stop}"]')
    script(browser, "arguments[0].dispatchEvent(new MouseEvent('click', {bubbles: true}))", dot)
    assert sorted(script(browser, marked % "sel")) == ["TR", "g", "g"]
    assert script(
        browser,
        """const r = arguments[0].getBoundingClientRect(),
        c = arguments[0].closest('.scroll').getBoundingClientRect();
        return r.top >= c.top && r.bottom <= c.bottom;""",
        row,
    )  # brought into view
    view = "return document.querySelector('svg.map').getAttribute('viewBox')"
    home = script(browser, view)
    browser.find_element("css selector", "button[data-zoom='in']").click()
    assert float(script(browser, view).split()[2]) < float(home.split()[2])
    browser.find_element("css selector", "button[data-zoom='reset']").click()
    assert list(map(float, script(browser, view).split())) == pytest.approx(
        list(map(float, home.split()))
    )


def test_break_rows_stay_under_their_stop_when_sorted_and_filtered(browser, tmp_path):
    problem, tour = working_week()
    path = tmp_path / "week.html"
    path.write_text(tour.to_html(problem), encoding="utf-8")
    browser.get(path.as_uri())
    shown = (
        "return Array.from(document.querySelectorAll('#stops tbody tr:not([hidden])'),"
        " r => r.classList.contains('break') ? r.cells[1].textContent : r.cells[2].textContent)"
    )
    assert browser.find_element("css selector", "#stops tbody tr.break").is_displayed()
    browser.find_elements("css selector", "#stops thead th")[2].click()  # by name
    assert script(browser, shown) == [
        "Bakery",
        "Depot",
        "Farm",
        "break pausing the way Farm > Depot",
        "Mill",
        "break during the wait at Mill",
    ]
    browser.find_element("id", "filter").send_keys("Mill")
    assert script(browser, shown) == ["Mill", "break during the wait at Mill"]
    assert browser.find_element("id", "shown").text == "1 of 4 stops"

"""The web application built over the sample in each language, used in a real browser: the pages,
messages and read-me speak the build's language, and once the project's own data (captions,
descriptions, values) is taken away no word of the other language is left."""

import os
import re
import runpy
import sqlite3
import unittest
import urllib.error
import urllib.request

from selenium.webdriver.common.by import By

import webapp_support as ws

# What each language shows where; a str is looked for as a part, a re.Pattern must match in full.
EXPECTED = {
    "1033": {
        "lang": "en", "readme": "## Start it", "serving": "Serving Sample orders on http://",
        "new": "New", "search": "Search", "count": re.compile(r"\d+ rows"), "contains": "contains",
        "search_error": "Enter numbers.", "edit": "Edit", "delete": "Delete", "form_heading": "Edit: ",
        "decimals": "Use at most 2 decimal places.", "correct": "Please correct the marked fields.",
        "required": "Required.", "save": "Save", "saved": "Saved.", "delete_question": "Delete from ",
        "deleted": "Deleted.", "not_deleted": "The row was not deleted: ", "not_found": "Not found",
        "home": "Back to the start page", "expired": "The form has expired",
    },
    "2052": {
        "lang": "zh-CN", "readme": "## 启动", "serving": "正在 http://",
        "new": "新建", "search": "查询", "count": re.compile(r"共 \d+ 条记录"), "contains": "包含",
        "search_error": "请输入数字。", "edit": "编辑", "delete": "删除", "form_heading": "编辑：",
        "decimals": "最多 2 位小数。", "correct": "请更正标出的字段。", "required": "此项必填。",
        "save": "保存", "saved": "已保存。", "delete_question": "确定从",
        "deleted": "已删除。", "not_deleted": "未删除该记录：", "not_found": "未找到", "home": "返回首页",
        "expired": "表单已过期",
    },
}
# A Chinese character or punctuation mark; a word of English (the input formats and names the
# Chinese texts keep as they are aside).
HAN = re.compile(r"[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]")
ENGLISH_WORD = re.compile(r"\b(?!(?:YYYY|MM|DD|HH|UUID|JSON|SQLite)\b)[A-Za-z]{2,}\b")

# Everything a reader sees or hears of a page: its title, its text, placeholders, labels for screen
# readers, tool tips and the choices of its drop-down lists.
PAGE_WORDS = """
const out = [document.title, document.body.innerText];
for (const e of document.querySelectorAll('[placeholder], [aria-label], [title]'))
    for (const a of ['placeholder', 'aria-label', 'title'])
        if (e.hasAttribute(a)) out.push(e.getAttribute(a));
for (const o of document.querySelectorAll('option')) out.push(o.text);
return out.join('\\n');
"""


def project_data(out, db):
    """Every text the project and its database bring: captions, descriptions, conversions, the
    title and the stored values, longest first."""
    schema = runpy.run_path(os.path.join(out, "webapp", "schema.py"))
    found = {schema["TITLE"]}
    for t in schema["TABLES"]:
        found.update(t[4:7])
        for c in t[9]:
            found.update(c[1:3])
            found.update(caption for _, caption in c[7])
    with sqlite3.connect(db) as conn:
        for (name,) in conn.execute("SELECT name FROM sqlite_master WHERE type = 'table'").fetchall():
            for row in conn.execute('SELECT * FROM "%s"' % name.replace('"', '""')):
                found.update(str(v) for v in row if isinstance(v, str))
    return sorted((s for s in found if s.strip()), key=len, reverse=True)


class LanguageWebApp(unittest.TestCase):
    def test_pages_messages_and_read_me_speak_the_language_of_the_build(self):
        for language, expected in EXPECTED.items():
            with self.subTest(language=language):
                self.check(language, expected)

    def check(self, language, expected):
        space = ws.Workspace()
        self.addCleanup(space.close)
        project, db = ws.sample_project(space)
        out = ws.generate(space, project, ws.project_tables(space, project), language=language)
        server = ws.Server(out, db)
        self.addCleanup(server.stop)
        driver = ws.browser()
        self.addCleanup(ws.close_browser, driver)
        data = project_data(out, db)
        seen = []

        def open_page(path):
            driver.get(server.base + path)
            seen.append((path, driver.execute_script(PAGE_WORDS)))

        def click(css):
            ws.click_and_wait(driver, driver.find_element(By.CSS_SELECTOR, css))
            seen.append((driver.current_url, driver.execute_script(PAGE_WORDS)))

        def text(css):
            return driver.find_element(By.CSS_SELECTOR, css).text

        def field(label):
            for lab in driver.find_elements(By.CSS_SELECTOR, "form label"):
                if lab.text.rstrip(" *") == label:
                    return driver.find_element(By.ID, lab.get_attribute("for"))
            raise AssertionError("no field labelled %r" % label)

        def type_into(label, value):
            box = field(label)
            driver.execute_script("arguments[0].value = arguments[1]", box, value)

        with open(os.path.join(out, "README.md"), encoding="utf-8") as readme:
            self.assertIn(expected["readme"], readme.read())
        self.assertIn(expected["serving"], server.output())

        # The list: its buttons, count, placeholders and a search refused beside its field.
        open_page("/t/customers/")
        self.assertEqual(driver.find_element(By.TAG_NAME, "html").get_attribute("lang"), expected["lang"])
        self.assertEqual(text("#new-row"), expected["new"])
        self.assertEqual(text("#search"), expected["search"])
        self.assertRegex(text("#row-count"), expected["count"])
        self.assertIn(expected["contains"], [e.get_attribute("placeholder") for e in
                                             driver.find_elements(By.CSS_SELECTOR, "input[type=search]")])
        open_page("/t/customers/?s5_from=abc")
        self.assertEqual(text("form.search .invalid .error"), expected["search_error"])

        # The form: a refused value, a missing one, then the save and its message.
        open_page("/t/orders/row?k=1002")
        self.assertEqual(text("#edit-row"), expected["edit"])
        self.assertEqual(text("#delete-row"), expected["delete"])
        click("#edit-row")
        self.assertTrue(text("h1").startswith(expected["form_heading"]), text("h1"))
        self.assertEqual(text("#save"), expected["save"])
        type_into("订单金额", "12.345")
        click("#save")
        self.assertEqual(text(".field.invalid .error"), expected["decimals"])
        self.assertIn(expected["correct"], text("main"))
        type_into("订单金额", "12.34")
        type_into("下单日期", "")
        click("#save")
        self.assertEqual(text(".field.invalid .error"), expected["required"])
        type_into("下单日期", "2024-04-01")
        click("#save")
        self.assertEqual(text(".message.ok"), expected["saved"])

        # Deleting: the question, the message after it, and a refusal of the database.
        open_page("/t/payments/delete?k=2")
        self.assertTrue(text("h1").startswith(expected["delete_question"]), text("h1"))
        self.assertEqual(text("#confirm-delete"), expected["delete"])
        click("#confirm-delete")
        self.assertEqual(text(".message.ok"), expected["deleted"])
        driver.get(server.base + "/t/customers/delete?k=1")
        ws.click_and_wait(driver, driver.find_element(By.ID, "confirm-delete"))
        self.assertTrue(text("#form-message").startswith(expected["not_deleted"]), text("#form-message"))

        # A page that does not exist.
        open_page("/t/no-such-table/")
        self.assertEqual(text("h1"), expected["not_found"])
        self.assertEqual(text("main p a"), expected["home"])
        self.assertEqual(driver.find_element(By.TAG_NAME, "html").get_attribute("lang"), expected["lang"])

        # Refusals without a browser: a forged form, and a method the page does not take (which
        # keeps the methods it allows).
        for method, body, code, part in (("POST", b"csrf_token=forged", 400, expected["expired"]),
                                         ("PUT", None, 405, expected["lang"])):
            with self.assertRaises(urllib.error.HTTPError) as refused:
                urllib.request.urlopen(urllib.request.Request(server.base + "/t/customers/delete?k=3", data=body,
                                                              method=method))
            self.assertEqual(refused.exception.code, code)
            self.assertIn(part, refused.exception.read().decode("utf-8"))
        self.assertIn("GET", refused.exception.headers.get("Allow", ""))

        # Once the project's data is taken away, only the application's own words are left.
        foreign = HAN if language == "1033" else ENGLISH_WORD
        for where, words in seen:
            for piece in data:
                words = words.replace(piece, " ")
            self.assertIsNone(foreign.search(words), "%s: %r" % (where, words))


if __name__ == "__main__":
    unittest.main()

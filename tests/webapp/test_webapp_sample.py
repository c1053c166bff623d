"""The web application built over the annotated sample (SQLite), used in a real browser: every
screen, each search kind, paging and sorting, conversions, foreign-key choices, each key kind,
composite keys, validation and refusals, with the database checked after each write."""

import sqlite3
import unittest
import urllib.error
import urllib.request

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

import webapp_support as ws


def annotate(conn):
    # A drop-down with conversions, each alignment, an exact-text search and each key kind.
    conn.execute("UPDATE tb_Column SET CL_UPDATE_TYPE = '5' WHERE CL_TL_NAME = 'orders' AND CL_NAME = 'status'")
    conn.execute("UPDATE tb_Column SET CL_SEARCH_TYPE = '2' WHERE CL_TL_NAME = 'customers' AND CL_NAME = 'city'")
    conn.execute("UPDATE tb_Column SET CL_MAIN_TYPE = '3' WHERE CL_TL_NAME = 'customers' AND CL_NAME = 'name'")
    conn.execute("UPDATE tb_Column SET CL_MAIN_TYPE = '2' WHERE CL_TL_NAME = 'customers' AND CL_NAME = 'vip'")
    conn.execute("UPDATE tb_Column SET CL_MAIN_TYPE = '0' WHERE CL_TL_NAME = 'customers' AND CL_NAME = 'notes'")
    conn.execute("UPDATE tb_Column SET CL_DESC = 'Where the <b>customer</b> is' "
                 "WHERE CL_TL_NAME = 'customers' AND CL_NAME = 'city'")
    conn.execute("UPDATE tb_Table SET TL_PKTYPE = '3' WHERE TL_NAME = 'categories'")


class SampleWebApp(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.ws = ws.Workspace()
        project, cls.db = ws.sample_project(cls.ws, annotate)
        with sqlite3.connect(cls.db) as conn:  # enough customers for three pages
            conn.executemany("INSERT INTO customers (customer_id, name, city, vip, registered_on, credit_limit) "
                             "VALUES (?, ?, ?, ?, ?, ?)",
                             [(100 + i, "Customer %03d" % i, "Leeds" if i % 3 == 0 else "York", i % 2,
                               "2024-01-%02d" % (1 + i % 28), i * 100) for i in range(120)])
        tables = ws.project_tables(cls.ws, project)
        cls.out = ws.generate(cls.ws, project, tables)
        cls.server = ws.Server(cls.out, cls.db)
        cls.browser = ws.browser()

    @classmethod
    def tearDownClass(cls):
        ws.close_browser(cls.browser)
        cls.server.stop()
        cls.ws.close()

    def open(self, path):
        self.browser.get(self.server.base + path)

    def go(self, by, what):
        ws.click_and_wait(self.browser, self.browser.find_element(by, what))

    def sql(self, query, *params):
        with sqlite3.connect(self.db) as conn:
            return conn.execute(query, params).fetchall()

    def text(self, css):
        return self.browser.find_element(By.CSS_SELECTOR, css).text

    def fill(self, values):
        for label, value in values.items():
            field = self.field(label)
            if field.tag_name == "select":
                Select(field).select_by_visible_text(value)
            elif field.get_attribute("type") == "checkbox":
                if field.is_selected() != bool(value):
                    field.click()
            else:
                field.clear()
                field.send_keys(value)

    def field(self, label):
        for lab in self.browser.find_elements(By.CSS_SELECTOR, "form label"):
            if lab.text.rstrip(" *") == label:
                return self.browser.find_element(By.ID, lab.get_attribute("for"))
        raise AssertionError("no field labelled %r" % label)

    def count(self):
        return int(self.text("#row-count").split()[0])

    def test_home_and_list_follow_the_annotations(self):
        self.open("/")
        links = [a.text for a in self.browser.find_elements(By.CSS_SELECTOR, "ul.tables li > a")]
        self.assertIn("客户", links)
        self.assertIn("下单的公司和个人", self.browser.find_element(By.CSS_SELECTOR, "ul.tables").text)
        self.go(By.LINK_TEXT, "客户")
        headings = [th.text for th in self.browser.find_elements(By.CSS_SELECTOR, "table.rows thead th")][:-1]
        self.assertEqual(headings, ["客户编号", "客户名称", "电子邮件", "电话", "城市", "信用额度", "贵宾客户", "注册日期"])
        classes = [th.get_attribute("class") for th in self.browser.find_elements(By.CSS_SELECTOR, "thead th")]
        self.assertEqual(classes[1:3] + classes[5:7], ["right", "left", "right", "center"])
        self.assertEqual(self.count(), 123)
        self.assertIn("page 1 of 3", self.text("#row-count"))
        self.assertEqual(len(self.browser.find_elements(By.CSS_SELECTOR, "tbody tr")), 50)
        # Sorting by a heading, then paging keeps the order; the last page holds the rest.
        self.go(By.LINK_TEXT, "客户名称")
        self.go(By.LINK_TEXT, "客户名称")  # descending
        names = [r[0] for r in self.sql("SELECT name FROM customers ORDER BY name DESC, customer_id")]
        first = [td.text for td in self.browser.find_elements(By.CSS_SELECTOR, "tbody tr td:nth-child(2)")]
        self.assertEqual(first, names[:50])
        self.go(By.ID, "next-page")
        self.go(By.ID, "next-page")
        last = [td.text for td in self.browser.find_elements(By.CSS_SELECTOR, "tbody tr td:nth-child(2)")]
        self.assertEqual(last, names[100:])
        # Conversions are shown as their captions.
        shown = {td.text for td in self.browser.find_elements(By.CSS_SELECTOR, "tbody td:nth-child(7)")}
        self.assertEqual(shown, {"贵宾", "普通"})

    def test_each_search_kind_finds_what_the_database_finds(self):
        cases = [
            # table, {field label: value or (from, to)}, the same condition in SQL
            ("customers", {"客户名称": "omer 01"}, "SELECT count(*) FROM customers WHERE name LIKE '%omer 01%'"),
            ("customers", {"城市": "Leeds"}, "SELECT count(*) FROM customers WHERE city = 'Leeds'"),
            ("customers", {"城市": "Lee"}, "SELECT 0"),
            ("customers", {"注册日期": ("2024-01-03", "2024-01-05")},
             "SELECT count(*) FROM customers WHERE registered_on BETWEEN '2024-01-03' AND '2024-01-05'"),
            ("customers", {"信用额度": ("1000", "2500.5")},
             "SELECT count(*) FROM customers WHERE credit_limit BETWEEN 1000 AND 2500.5"),
            ("customers", {"贵宾客户": "贵宾"}, "SELECT count(*) FROM customers WHERE vip"),
            ("customers", {"贵宾客户": "普通", "城市": "York"},
             "SELECT count(*) FROM customers WHERE NOT vip AND city = 'York'"),
            ("orders", {"状态": "已发货"}, "SELECT count(*) FROM orders WHERE status = 'SHIPPED'"),
        ]
        for table, search, query in cases:
            with self.subTest(table=table, search=search):
                self.open("/t/%s/" % table)
                for label, value in search.items():
                    lab = [x for x in self.browser.find_elements(By.CSS_SELECTOR, "form.search label")
                           if x.text == label][0]
                    field = self.browser.find_element(By.ID, lab.get_attribute("for"))
                    if isinstance(value, tuple):
                        for name, v in zip(("_from", "_to"), value):
                            box = self.browser.find_element(By.NAME, lab.get_attribute("for") + name)
                            if box.get_attribute("type") == "date":
                                self.browser.execute_script("arguments[0].value = arguments[1]", box, v)
                            else:
                                box.send_keys(v)
                    elif field.tag_name == "select":
                        Select(field).select_by_visible_text(value)
                    else:
                        field.send_keys(value)
                self.go(By.ID, "search")
                self.assertEqual(self.count(), self.sql(query)[0][0])
        # A range that is not a number is refused beside its field, the input kept.
        self.open("/t/customers/?s5_from=abc")
        self.assertIn("Enter numbers.", self.text("form.search .invalid"))
        self.assertEqual(self.browser.find_element(By.NAME, "s5_from").get_attribute("value"), "abc")

    def test_detail_shows_captions_conversions_and_links(self):
        self.open("/t/orders/row?k=1001")
        detail = {dt.text: dd for dt, dd in zip(self.browser.find_elements(By.CSS_SELECTOR, "dl.detail dt"),
                                                self.browser.find_elements(By.CSS_SELECTOR, "dl.detail dd"))}
        self.assertTrue(detail["状态"].text.startswith("已发货"))
        customer = detail["客户"].find_element(By.TAG_NAME, "a")
        self.assertIn("上海明达贸易", customer.text)
        ws.click_and_wait(self.browser, customer)
        self.assertIn("/t/customers/row?k=1", self.browser.current_url)
        # Descriptions are help texts, escaped.
        self.assertIn("Where the <b>customer</b> is", self.browser.find_element(By.CSS_SELECTOR, "dl.detail").text)

    def test_new_edit_and_delete_write_the_database(self):
        self.open("/t/products/new")
        self.fill({"库存单位": "TST-1", "商品名称": "Test <product> & 'quotes'", "单价": "12.5",
                   "库存数量": "3", "上架日期": "", "已停售": True})
        Select(self.field("类别")).select_by_visible_text("Cables (4)")
        Select(self.field("供应商")).select_by_visible_text("Northwind Components (2)")
        self.go(By.ID, "save")
        self.assertIn("Saved.", self.text(".message.ok"))
        row = self.sql("SELECT product_id, name, category_id, supplier_id, unit_price, discontinued FROM products "
                       "WHERE sku = 'TST-1'")
        self.assertEqual(row[0][1:], ("Test <product> & 'quotes'", 4, 2, 12.5, 1))
        self.assertIn("row?k=%d" % row[0][0], self.browser.current_url)
        # Edit: the key is read-only, the control of each code shows the stored value.
        self.go(By.ID, "edit-row")
        self.assertEqual(self.field("商品编号").tag_name, "output")
        self.assertEqual(Select(self.field("类别")).first_selected_option.text, "Cables (4)")
        self.fill({"单价": "13.25", "已停售": False})
        self.go(By.ID, "save")
        self.assertEqual(self.sql("SELECT unit_price, discontinued FROM products WHERE sku = 'TST-1'"), [(13.25, 0)])
        self.go(By.ID, "delete-row")
        self.go(By.ID, "confirm-delete")
        self.assertIn("Deleted.", self.text(".message.ok"))
        self.assertEqual(self.sql("SELECT count(*) FROM products WHERE sku = 'TST-1'"), [(0,)])

    def test_a_conversion_drop_down_and_a_validation_error(self):
        self.open("/t/orders/row?k=1002")
        self.go(By.ID, "edit-row")
        status = Select(self.field("状态"))
        self.assertEqual([o.text for o in status.options], ["—", "新建", "已付款", "已发货", "已取消"])
        self.assertEqual(status.first_selected_option.text, "新建")
        status.select_by_visible_text("已取消")
        self.fill({"订单金额": "12.345", "备注": "kept"})
        self.go(By.ID, "save")
        # Too many decimals: refused beside the field, nothing written, the input kept.
        self.assertIn("at most 2 decimal places", self.text(".field.invalid .error"))
        self.assertEqual(self.field("订单金额").get_attribute("value"), "12.345")
        self.assertEqual(self.field("备注").get_attribute("value"), "kept")
        self.assertEqual(Select(self.field("状态")).first_selected_option.text, "已取消")
        self.assertEqual(self.sql("SELECT status FROM orders WHERE order_id = 1002"), [("NEW",)])
        self.fill({"订单金额": "12.34", "下单日期": ""})
        self.go(By.ID, "save")
        self.assertEqual(self.text(".field.invalid .error"), "Required.")
        self.browser.execute_script("arguments[0].value = '2024-04-01'", self.field("下单日期"))
        self.go(By.ID, "save")
        self.assertEqual([e.text for e in self.browser.find_elements(By.CSS_SELECTOR, ".error")], [])
        self.assertEqual(self.sql("SELECT status, total_amount, order_date, remarks FROM orders WHERE order_id = 1002"),
                         [("CANCELLED", 12.34, "2024-04-01", "kept")])

    def test_refusals_of_the_database_are_messages(self):
        # A referenced row cannot be deleted.
        self.open("/t/customers/delete?k=1")
        self.go(By.ID, "confirm-delete")
        self.assertIn("FOREIGN KEY", self.text("#form-message"))
        self.assertEqual(self.sql("SELECT count(*) FROM customers WHERE customer_id = 1"), [(1,)])
        # A duplicate key on new is a message on the form, the input kept.
        self.open("/t/employees/new")
        self.fill({"员工编号": "1", "姓名": "Twin", "入职日期": ""})
        self.browser.execute_script("arguments[0].value = '2024-01-01'", self.field("入职日期"))
        self.go(By.ID, "save")
        self.assertIn("UNIQUE", self.text("#form-message"))
        self.assertEqual(self.field("姓名").get_attribute("value"), "Twin")

    def test_key_kinds_and_composite_keys(self):
        # Automatic number: the database numbers the row, the page opens it.
        self.open("/t/payments/new")
        self.assertNotIn("付款编号", [x.text for x in self.browser.find_elements(By.CSS_SELECTOR, "form label")])
        Select(self.field("订单号")).select_by_index(1)
        self.fill({"金额": "5"})
        self.browser.execute_script("arguments[0].value = '2024-05-01'", self.field("付款日期"))
        self.fill({"付款方式": "CARD"})
        self.go(By.ID, "save")
        top = self.sql("SELECT max(payment_id) FROM payments")[0][0]
        self.assertTrue(self.browser.current_url.endswith("row?k=%d" % top), self.browser.current_url)
        # Generated by the program: the next number.
        self.open("/t/categories/new")
        self.fill({"类别名称": "Generated"})
        self.go(By.ID, "save")
        self.assertEqual(self.sql("SELECT category_id FROM categories WHERE name = 'Generated'"), [(5,)])
        # Composite key: detail, edit and a composite foreign key chosen as one.
        self.open("/t/order-items/row?k=1001&k=2")
        self.go(By.ID, "edit-row")
        self.fill({"数量": "6"})
        self.go(By.ID, "save")
        self.assertEqual(self.sql("SELECT quantity FROM order_items WHERE order_id = 1001 AND line_no = 2"), [(6,)])
        self.open("/t/shipment-items/new")
        Select(self.field("发货单号")).select_by_visible_text("SF Express (2)")
        choice = Select(self.field("订单号 / 订单行号"))
        choice.select_by_visible_text("1002 / 1")
        self.fill({"发货数量": "1"})
        self.go(By.ID, "save")
        self.assertEqual(self.sql("SELECT shipment_id, order_id, line_no, quantity FROM shipment_items "
                                  "WHERE order_id = 1002"), [(2, 1002, 1, 1)])

    def test_views_are_read_only_and_forms_need_their_token(self):
        self.open("/t/v-order-totals/")
        self.assertEqual(self.browser.find_elements(By.ID, "new-row"), [])
        self.go(By.CSS_SELECTOR, "a.open-row")
        self.assertEqual(self.browser.find_elements(By.ID, "edit-row"), [])
        self.assertIn("1001", self.browser.find_element(By.CSS_SELECTOR, "dl.detail").text)
        with self.assertRaises(urllib.error.HTTPError) as refused:
            urllib.request.urlopen(self.server.base + "/t/customers/delete?k=3", data=b"csrf_token=forged")
        self.assertEqual(refused.exception.code, 400)
        self.assertEqual(self.sql("SELECT count(*) FROM customers WHERE customer_id = 3"), [(1,)])

    def test_the_project_database_is_the_default(self):
        default = ws.Server(self.out, None)
        try:
            with urllib.request.urlopen(default.base + "/t/customers/") as page:
                self.assertIn("上海明达贸易", page.read().decode("utf-8"))
        finally:
            default.stop()

    def test_every_page_answers(self):
        failures, visited = ws.crawl(self.server.base)
        self.assertEqual(failures, [])
        self.assertGreater(visited, 100)
        failures, tables = ws.probe(self.server.base)
        self.assertEqual(failures, [])
        self.assertEqual(tables, 11)
        self.assertEqual(self.sql("SELECT count(*) FROM customers"), [(123,)])


if __name__ == "__main__":
    unittest.main()

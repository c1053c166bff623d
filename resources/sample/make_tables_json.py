#!/usr/bin/env python3
"""Writes tables.json: the sample schema of sample.sql as a build's table set (tag "TABLES").

Each table row carries the table fields, its column records (tag "COLUMNS") and the four screen
lists cut from them, exactly as the main window hands them to a build. Captions are Chinese, as a
user of the sample project would have entered them. Run it after changing the schema:
    python3 resources/sample/make_tables_json.py > resources/sample/tables.json
"""
import json
import sys

# name: (DATA_TYPE number, CL_TYPE, CL_TYPE2)
TYPES = {
    "int": (3, "long", "numeric"),
    "varchar": (202, "VarWChar", "string"),
    "text": (203, "LongVarWChar", "string"),
    "numeric": (131, "Numeric", "numeric"),
    "bool": (11, "Boolean", "boolean"),
    "date": (133, "DBDate", "date"),
}

# Each column: (name, kind, size, nullable, default, caption, description, pk, fk, converts)
# size: character length, or (precision, scale) for numbers.
TABLES = [
    ("categories", "TABLE", "商品类别", "商品的分类，可以多级嵌套", "category_id", "1", [
        ("category_id", "int", (10, 0), False, "", "类别编号", "", True, "", None),
        ("name", "varchar", 50, False, "", "类别名称", "", False, "", None),
        ("parent_id", "int", (10, 0), True, "", "上级类别", "空表示顶级类别", False, "categories.category_id", None),
        ("sort_order", "int", (10, 0), False, "0", "排序", "", False, "", None),
        ("description", "text", 65536, True, "", "说明", "", False, "", None),
    ]),
    ("suppliers", "TABLE", "供应商", "", "supplier_id", "1", [
        ("supplier_id", "int", (10, 0), False, "", "供应商编号", "", True, "", None),
        ("name", "varchar", 100, False, "", "供应商名称", "", False, "", None),
        ("contact_name", "varchar", 50, True, "", "联系人", "", False, "", None),
        ("phone", "varchar", 30, True, "", "电话", "", False, "", None),
        ("email", "varchar", 120, True, "", "电子邮件", "", False, "", None),
        ("address", "text", 65536, True, "", "地址", "", False, "", None),
        ("active", "bool", None, False, "TRUE", "是否有效", "停用的供应商不再下单", False, "", (["有效", "停用"], ["1", "0"])),
    ]),
    ("products", "TABLE", "商品", "在售和已停售的商品", "product_id", "1", [
        ("product_id", "int", (10, 0), False, "", "商品编号", "", True, "", None),
        ("sku", "varchar", 20, False, "", "库存单位", "唯一的商品代码", False, "", None),
        ("name", "varchar", 100, False, "", "商品名称", "", False, "", None),
        ("category_id", "int", (10, 0), False, "", "类别", "", False, "categories.category_id", None),
        ("supplier_id", "int", (10, 0), True, "", "供应商", "", False, "suppliers.supplier_id", None),
        ("unit_price", "numeric", (10, 2), False, "0", "单价", "含税价格，单位：元", False, "", None),
        ("stock_qty", "int", (10, 0), False, "0", "库存数量", "", False, "", None),
        ("discontinued", "bool", None, False, "FALSE", "已停售", "", False, "", (["在售", "停售"], ["0", "1"])),
        ("created_on", "date", None, True, "", "上架日期", "", False, "", None),
        ("description", "text", 65536, True, "", "商品描述", "", False, "", None),
    ]),
    ("customers", "TABLE", "客户", "下单的公司和个人", "customer_id", "1", [
        ("customer_id", "int", (10, 0), False, "", "客户编号", "", True, "", None),
        ("name", "varchar", 100, False, "", "客户名称", "", False, "", None),
        ("email", "varchar", 120, True, "", "电子邮件", "", False, "", None),
        ("phone", "varchar", 30, True, "", "电话", "", False, "", None),
        ("city", "varchar", 50, True, "", "城市", "", False, "", None),
        ("credit_limit", "numeric", (12, 2), True, "5000", "信用额度", "空表示不允许赊账", False, "", None),
        ("vip", "bool", None, False, "FALSE", "贵宾客户", "", False, "", (["普通", "贵宾"], ["0", "1"])),
        ("registered_on", "date", None, False, "", "注册日期", "", False, "", None),
        ("notes", "text", 65536, True, "", "备注", "", False, "", None),
    ]),
    ("employees", "TABLE", "员工", "", "employee_id", "1", [
        ("employee_id", "int", (10, 0), False, "", "员工编号", "", True, "", None),
        ("name", "varchar", 50, False, "", "姓名", "", False, "", None),
        ("title", "varchar", 50, True, "", "职务", "", False, "", None),
        ("manager_id", "int", (10, 0), True, "", "上级", "直接上级的员工编号", False, "employees.employee_id", None),
        ("hire_date", "date", None, False, "", "入职日期", "", False, "", None),
        ("salary", "numeric", (10, 2), True, "", "月薪", "", False, "", None),
        ("active", "bool", None, False, "TRUE", "在职", "", False, "", None),
    ]),
    ("orders", "TABLE", "订单", "客户订单的表头", "order_id", "1", [
        ("order_id", "int", (10, 0), False, "", "订单号", "", True, "", None),
        ("customer_id", "int", (10, 0), False, "", "客户", "", False, "customers.customer_id", None),
        ("employee_id", "int", (10, 0), True, "", "业务员", "", False, "employees.employee_id", None),
        ("order_date", "date", None, False, "", "下单日期", "", False, "", None),
        ("required_date", "date", None, True, "", "要求到货日期", "", False, "", None),
        ("status", "varchar", 20, False, "'NEW'", "状态", "订单的处理状态", False, "",
         (["新建", "已付款", "已发货", "已取消"], ["NEW", "PAID", "SHIPPED", "CANCELLED"])),
        ("total_amount", "numeric", (12, 2), False, "0", "订单金额", "", False, "", None),
        ("remarks", "text", 65536, True, "", "备注", "", False, "", None),
    ]),
    ("order_items", "TABLE", "订单明细", "订单的商品行", "order_id", "1", [
        ("order_id", "int", (10, 0), False, "", "订单号", "", True, "orders.order_id", None),
        ("line_no", "int", (10, 0), False, "", "行号", "", True, "", None),
        ("product_id", "int", (10, 0), False, "", "商品", "", False, "products.product_id", None),
        ("quantity", "int", (10, 0), False, "1", "数量", "", False, "", None),
        ("unit_price", "numeric", (10, 2), False, "", "成交单价", "", False, "", None),
        ("discount", "numeric", (5, 2), False, "0", "折扣金额", "", False, "", None),
    ]),
    ("shipments", "TABLE", "发货单", "", "shipment_id", "1", [
        ("shipment_id", "int", (10, 0), False, "", "发货单号", "", True, "", None),
        ("order_id", "int", (10, 0), False, "", "订单号", "", False, "orders.order_id", None),
        ("shipped_on", "date", None, True, "", "发货日期", "", False, "", None),
        ("carrier", "varchar", 40, True, "", "承运商", "", False, "", None),
        ("tracking_no", "varchar", 40, True, "", "运单号", "", False, "", None),
        ("delivered", "bool", None, False, "FALSE", "已签收", "", False, "", None),
    ]),
    # order_id belongs to two foreign keys (orders and order_items); a column record keeps the
    # first one reported.
    ("shipment_items", "TABLE", "发货明细", "一次发货包含的订单行", "shipment_id", "1", [
        ("shipment_id", "int", (10, 0), False, "", "发货单号", "", True, "shipments.shipment_id", None),
        ("order_id", "int", (10, 0), False, "", "订单号", "", True, "orders.order_id", None),
        ("line_no", "int", (10, 0), False, "", "订单行号", "", True, "order_items.line_no", None),
        ("quantity", "int", (10, 0), False, "1", "发货数量", "", False, "", None),
    ]),
    ("payments", "TABLE", "付款记录", "", "payment_id", "2", [
        ("payment_id", "int", (10, 0), False, "", "付款编号", "由数据库自动生成", True, "", None),
        ("order_id", "int", (10, 0), False, "", "订单号", "", False, "orders.order_id", None),
        ("paid_on", "date", None, False, "", "付款日期", "", False, "", None),
        ("amount", "numeric", (12, 2), False, "", "金额", "", False, "", None),
        ("method", "varchar", 20, False, "'CASH'", "付款方式", "", False, "",
         (["现金", "转账", "银行卡"], ["CASH", "TRANSFER", "CARD"])),
        ("confirmed", "bool", None, False, "FALSE", "已确认", "", False, "", None),
        ("note", "varchar", 200, True, "", "附言", "", False, "", None),
    ]),
    ("v_order_totals", "VIEW", "订单汇总", "每个订单的明细合计（视图）", "order_id", "1", [
        ("order_id", "int", (10, 0), True, "", "订单号", "", False, "", None),
        ("customer_name", "varchar", 100, True, "", "客户名称", "", False, "", None),
        ("order_date", "date", None, True, "", "下单日期", "", False, "", None),
        ("items_total", "numeric", (12, 2), True, "", "明细合计", "", False, "", None),
    ]),
]


def col(key, value):
    return {"key": key, "value": value}


def auto_type(kind, type_class, length):
    if kind == "update":
        return {"date": "3", "numeric": "4", "boolean": "6"}.get(type_class, "2" if length >= 101 else "1")
    if kind == "search":
        return {"date": "3", "numeric": "4", "boolean": "5"}.get(type_class, "1")
    return "4" if kind == "main" else "1"


def column_row(table_pk, pktype, c):
    name, kind, size, nullable, default, caption, desc, pk, fk, converts = c
    _, type_name, type_class = TYPES[kind]
    if isinstance(size, tuple):
        length, length2 = str(size[0]), (f"{size[0]},{size[1]}" if size[1] else str(size[0]))
    elif size is None:
        length, length2 = "", ""
    else:
        length, length2 = str(size), str(size)
    n = int(length) if length else 0
    codes = {k: auto_type(k, type_class, n) for k in ("update", "search", "main", "show")}
    if type_class == "string" and n > 1000:
        codes["search"] = "0"  # long texts are not searched
    if name == table_pk and pktype != "1":
        codes["update"] = "0"  # generated keys are not entered
    captions, values = converts if converts else ([], [])
    conv_rows = [{"key": "", "cols": [col("CC_CAPTION", a), col("CC_VALUE", b)]} for a, b in zip(captions, values)]
    cols = [
        col("CL_NAME", name),
        col("CL_PKMARK", "1" if name == table_pk else ""),
        col("CL_CNAME", caption),
        col("CL_CNAME2", caption or name),
        col("CL_DESC", desc),
        col("CL_PK", "1" if pk else "0"),
        col("CL_FK", fk),
        col("CL_NULL", "1" if nullable else "0"),
        col("CL_TYPE", type_name),
        col("CL_TYPE2", type_class),
        col("CL_LENGTH", length),
        col("CL_LENGTH2", length2),
        col("CL_UPDATE_TYPE", codes["update"]),
        col("CL_SEARCH_TYPE", codes["search"]),
        col("CL_MAIN_TYPE", codes["main"]),
        col("CL_SHOW_TYPE", codes["show"]),
        col("CL_DEFAULT", default),
        col("CL_CONVERT_CAPTION", "\t".join(captions)),
        col("CL_CONVERT_VALUE", "\t".join(values)),
        col("CL_CONVERTS", {"tag": "COLUMN_CONVERTS", "rows": conv_rows}),
    ]
    return {"key": name, "cols": cols}, codes


def table_row(t):
    name, ttype, caption, desc, pk, pktype, columns = t
    rows, lists = [], {k: [] for k in ("UPDATE", "SEARCH", "MAIN", "SHOW")}
    for c in columns:
        row, codes = column_row(pk, pktype, c)
        rows.append(row)
        for k in lists:
            if codes[k.lower()] not in ("", "0"):
                lists[k].append(row)
    cols = [
        col("TABLE_CATALOG", ""),
        col("TABLE_SCHEMA", ""),
        col("TABLE_NAME", name),
        col("TABLE_TYPE", ttype),
        col("DESCRIPTION", ""),
        col("TL_NAME", name),
        col("TL_CNAME", caption),
        col("TL_CNAME2", caption or name),
        col("TL_USER", "sample"),
        col("TL_DATE", "2024-03-01"),
        col("TL_DESC", desc),
        col("TL_PK", pk),
        col("TL_PKTYPE", pktype),
        col("COLUMNS", {"tag": "COLUMNS", "rows": rows}),
    ]
    for k, v in lists.items():
        cols.append(col(k + "_COLUMNS", {"tag": k + "_COLUMNS", "rows": v}))
    declared = [r for r, c in zip(rows, columns) if c[7]]
    used = declared or [r for r in rows if r["key"] == pk]
    cols.append(col("PK_COLUMNS", {"tag": "PK_COLUMNS", "rows": declared}))
    cols.append(col("KEY_COLUMNS", {"tag": "KEY_COLUMNS", "rows": used}))
    cols.append(col("TL_KEYSOURCE", "database" if declared else "project" if used else ""))
    return {"key": name, "cols": cols}


def dump(value, indent=0):
    """JSON with one line per scalar column, so the file stays small and readable."""
    pad = " " * indent
    if isinstance(value, dict) and "value" in value and not isinstance(value["value"], dict):
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, dict):
        items = [f'{pad} {json.dumps(k)}: {dump(v, indent + 1)}' for k, v in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + pad + "}"
    if isinstance(value, list):
        if not value:
            return "[]"
        items = [pad + " " + dump(v, indent + 1) for v in value]
        return "[\n" + ",\n".join(items) + "\n" + pad + "]"
    return json.dumps(value, ensure_ascii=False)


sys.stdout.write(dump({"tag": "TABLES", "rows": [table_row(t) for t in TABLES]}) + "\n")

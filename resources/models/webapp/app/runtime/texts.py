"""The application's own words in each language it speaks: buttons, headings, messages. The data
(captions, descriptions, values) is the project's and never passes through here.

Every text has a short key and one entry per language; a translator works through one table from
top to bottom. Placeholders are named ({count}, {caption}) so each language may place them where
its sentence needs them. The pages call tr() through the Jinja global of the same name."""

import re

ENGLISH = {
    # Page frame
    "html_lang": "en",
    # Home page
    "badge_view": "view",
    "badge_read_only": "read-only",
    # List page
    "new": "New",
    "search": "Search",
    "clear": "Clear",
    "any": "(any)",
    "yes": "Yes",
    "no": "No",
    "range_from": "from",
    "range_to": "to",
    "range_from_of": "{caption} from",
    "range_to_of": "{caption} to",
    "contains": "contains",
    "equals": "equals",
    "count_one": "1 row",
    "count_many": "{count} rows",
    "count_page": " · page {page} of {pages}",
    "open": "Open",
    "no_rows": "No rows.",
    "pages": "Pages",
    "previous": "‹ Previous",
    "next": "Next ›",
    "page_of": "Page {page} of {pages}",
    # Detail, form and delete pages
    "edit": "Edit",
    "delete": "Delete",
    "save": "Save",
    "cancel": "Cancel",
    "back_to": "‹ Back to {caption}",
    "title_edit": "Edit",
    "title_new": "New",
    "heading_edit": "Edit: {caption}",
    "heading_new": "New: {caption}",
    "required": "required",
    "correct_fields": "Please correct the marked fields.",
    "delete_question": "Delete from {caption}?",
    "not_deleted": "The row was not deleted: {message}",
    # Messages after a write
    "saved": "Saved.",
    "deleted": "Deleted.",
    # Checks of what was typed
    "enter_whole_number": "Enter a whole number.",
    "enter_number": "Enter a number.",
    "enter_numbers": "Enter numbers.",
    "decimal_places": "Use at most {places} decimal places.",
    "too_many_digits": "The number is too large (at most {digits} digits before the point).",
    "choose_yes_no": "Choose yes or no.",
    "enter_date": "Enter a date as YYYY-MM-DD.",
    "enter_dates": "Enter dates as YYYY-MM-DD.",
    "enter_datetime": "Enter a date and time as YYYY-MM-DD HH:MM.",
    "enter_time": "Enter a time as HH:MM.",
    "enter_uuid": "Enter a UUID such as 123e4567-e89b-12d3-a456-426614174000.",
    "enter_json": "Enter valid JSON.",
    "bad_character": "The text holds a character the database cannot store.",
    "max_characters": "Use at most {count} characters.",
    "choose_offered": "Choose one of the offered rows.",
    "required_field": "Required.",
    "bytes": "({count} bytes)",
    # Refusals and errors
    "row_gone": "The row no longer exists; nothing was changed.",
    "key_matches_many": "The key matches {count} rows, not one; nothing was changed.",
    "no_sqlite_file": "No SQLite database file at {path}.",
    "form_expired": "The form has expired or did not come from this application; reload it and try again.",
    "unavailable": "The database cannot be reached",
    "error_400": "Bad request",
    "error_400_text": "The request could not be understood.",
    "error_404": "Not found",
    "error_404_text": "There is no such page or row; it may have been deleted.",
    "error_405": "Not allowed",
    "error_405_text": "This page does not take that kind of request.",
    "error_413": "Too large",
    "error_413_text": "What was sent is larger than this application accepts.",
    "error_500": "Internal error",
    "error_500_text": "The application failed on this request; its log says why.",
    "error_other": "Error {code}",
    "back_home": "Back to the start page",
    # Command line
    "serves": "Serves {title} in the browser.",
    "help_db": "a SQLite database file, a postgresql:// or mysql:// address (default: $DATABASE_URL, "
               "else the project's database)",
    "help_host": "address to listen on (default 127.0.0.1)",
    "help_port": "port to listen on (default 5000)",
    "name_database": "name the database with --db or DATABASE_URL",
    "cannot_open": "{program}: cannot open the database: {reason}",
    "serving": "Serving {title} on http://{host}:{port}/ (Ctrl-C stops)",
}

CHINESE = {
    # Page frame
    "html_lang": "zh-CN",
    # Home page
    "badge_view": "视图",
    "badge_read_only": "只读",
    # List page
    "new": "新建",
    "search": "查询",
    "clear": "清除",
    "any": "（全部）",
    "yes": "是",
    "no": "否",
    "range_from": "从",
    "range_to": "到",
    "range_from_of": "{caption}起",
    "range_to_of": "{caption}止",
    "contains": "包含",
    "equals": "等于",
    "count_one": "共 1 条记录",
    "count_many": "共 {count} 条记录",
    "count_page": " · 第 {page} 页，共 {pages} 页",
    "open": "查看",
    "no_rows": "没有记录。",
    "pages": "分页",
    "previous": "‹ 上一页",
    "next": "下一页 ›",
    "page_of": "第 {page} 页，共 {pages} 页",
    # Detail, form and delete pages
    "edit": "编辑",
    "delete": "删除",
    "save": "保存",
    "cancel": "取消",
    "back_to": "‹ 返回{caption}",
    "title_edit": "编辑",
    "title_new": "新建",
    "heading_edit": "编辑：{caption}",
    "heading_new": "新建：{caption}",
    "required": "必填",
    "correct_fields": "请更正标出的字段。",
    "delete_question": "确定从{caption}中删除这条记录吗？",
    "not_deleted": "未删除该记录：{message}",
    # Messages after a write
    "saved": "已保存。",
    "deleted": "已删除。",
    # Checks of what was typed
    "enter_whole_number": "请输入整数。",
    "enter_number": "请输入数字。",
    "enter_numbers": "请输入数字。",
    "decimal_places": "最多 {places} 位小数。",
    "too_many_digits": "数字太大（整数部分最多 {digits} 位）。",
    "choose_yes_no": "请选择是或否。",
    "enter_date": "请按 YYYY-MM-DD 格式输入日期。",
    "enter_dates": "请按 YYYY-MM-DD 格式输入日期。",
    "enter_datetime": "请按 YYYY-MM-DD HH:MM 格式输入日期和时间。",
    "enter_time": "请按 HH:MM 格式输入时间。",
    "enter_uuid": "请输入 UUID，例如 123e4567-e89b-12d3-a456-426614174000。",
    "enter_json": "请输入有效的 JSON。",
    "bad_character": "文本中含有数据库无法保存的字符。",
    "max_characters": "最多 {count} 个字符。",
    "choose_offered": "请从列出的记录中选择一项。",
    "required_field": "此项必填。",
    "bytes": "（{count} 字节）",
    # Refusals and errors
    "row_gone": "该记录已不存在，未做任何更改。",
    "key_matches_many": "该主键对应 {count} 条记录而不是一条，未做任何更改。",
    "no_sqlite_file": "{path} 处没有 SQLite 数据库文件。",
    "form_expired": "表单已过期或并非来自本应用，请重新加载后再试。",
    "unavailable": "无法连接数据库",
    "error_400": "请求有误",
    "error_400_text": "无法识别该请求。",
    "error_404": "未找到",
    "error_404_text": "没有这个页面或这条记录，它可能已被删除。",
    "error_405": "不允许的请求",
    "error_405_text": "此页面不接受这种请求。",
    "error_413": "内容过大",
    "error_413_text": "提交的内容超出了本应用接受的大小。",
    "error_500": "内部错误",
    "error_500_text": "应用处理此请求时出错，原因见其日志。",
    "error_other": "错误 {code}",
    "back_home": "返回首页",
    # Command line
    "serves": "以 Web 方式提供 {title}。",
    "help_db": "SQLite 数据库文件，或 postgresql://、mysql:// 地址（默认：$DATABASE_URL，否则为项目的数据库）",
    "help_host": "监听的地址（默认 127.0.0.1）",
    "help_port": "监听的端口（默认 5000）",
    "name_database": "请用 --db 或 DATABASE_URL 指定数据库",
    "cannot_open": "{program}：无法打开数据库：{reason}",
    "serving": "正在 http://{host}:{port}/ 提供 {title}（按 Ctrl-C 停止）",
}

LANGUAGES = {"en": ENGLISH, "zh": CHINESE}

_current = ENGLISH


def language_of(number):
    """The language of a language number as the build passed it ("2052", 2052): Chinese for
    every Chinese number (its low ten bits are 4), English for anything else, an empty or a damaged
    value included."""
    m = re.fullmatch(r"\s*(\d{1,10})\s*", str(number if number is not None else ""))
    if m and int(m.group(1)) & 0x3FF == 0x04:
        return "zh"
    return "en"


def use(number):
    """Makes the language of a language number the one tr() speaks; its short name."""
    global _current
    name = language_of(number)
    _current = LANGUAGES[name]
    return name


def tr(key, **values):
    """The text of a key in the current language, its {placeholders} filled in. A key missing from
    that language falls back to English, so a page never breaks over a forgotten translation."""
    text = _current.get(key)
    if text is None:
        text = ENGLISH[key]
    return text.format(**values) if values else text

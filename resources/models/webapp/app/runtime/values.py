"""Values between the database, the pages and the forms: display text, form text, and the checked
value a form's text stands for."""

import datetime
import decimal
import json
import re
import uuid

from .texts import tr


class Invalid(ValueError):
    """A form text that does not make a value of its column; the message is shown beside the field."""


def display(column, value):
    """The text a list or detail page shows for a stored value (conversions are applied by the caller)."""
    if value is None:
        return ""
    if column.kind == "bool" or isinstance(value, bool):
        truth = _truth(value)
        return "" if truth is None else (tr("yes") if truth else tr("no"))
    if isinstance(value, (bytes, bytearray, memoryview)):
        return tr("bytes", count=len(bytes(value)))
    if isinstance(value, datetime.datetime):
        return _datetime_text(value, " ")
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat()
    if isinstance(value, (dict, list)) and column.kind == "json":
        return json.dumps(value, ensure_ascii=False)
    if isinstance(value, list):
        return "{" + ", ".join("" if v is None else str(v) for v in value) + "}"
    if column.kind == "decimal" and column.scale and isinstance(value, (int, float, decimal.Decimal)) \
            and not isinstance(value, bool):
        try:
            return str(decimal.Decimal(str(value)).quantize(decimal.Decimal(1).scaleb(-column.scale)))
        except decimal.InvalidOperation:
            return str(value)
    if isinstance(value, float):
        return repr(value) if value != int(value) or abs(value) >= 1e16 else str(int(value))
    return str(value)


def form_text(column, value, control):
    """The text a form control starts with for a stored value."""
    if value is None:
        return ""
    if column.kind == "bool" or control == "checkbox":
        truth = _truth(value)
        return "" if truth is None else ("1" if truth else "0")
    if control == "date":
        if column.kind in ("datetime", "datetimetz"):
            if isinstance(value, datetime.datetime):
                return value.replace(tzinfo=None).isoformat(timespec="seconds")
            return str(value).strip().replace(" ", "T")[:19]
        if isinstance(value, datetime.datetime):
            return value.date().isoformat()
        if isinstance(value, (datetime.date, datetime.time)):
            return value.isoformat()
        return str(value).strip()[:10] if column.kind == "date" else str(value)
    if column.kind == "json" and not isinstance(value, str):
        return json.dumps(value, ensure_ascii=False)
    return display(column, value)


def _truth(value):
    if isinstance(value, bool):
        return value
    if isinstance(value, (int, float, decimal.Decimal)):
        return value != 0
    text = str(value).strip().lower()
    if text in ("1", "t", "true", "y", "yes", "on"):
        return True
    if text in ("0", "f", "false", "n", "no", "off"):
        return False
    return None


def _datetime_text(value, sep):
    text = value.isoformat(sep=sep, timespec="microseconds" if value.microsecond else "seconds")
    return text


def parse(column, text, control=None):
    """The value of a form or address text for a column; None for an empty text. Raises Invalid."""
    if control == "checkbox":
        return text not in (None, "", "0")
    text = "" if text is None else str(text)
    if column.kind not in ("text", "longtext", "other", "json"):
        text = text.strip()
    if text == "":
        return None
    kind = column.kind
    if kind == "int":
        if not re.fullmatch(r"[+-]?\d+", text):
            raise Invalid(tr("enter_whole_number"))
        return int(text)
    if kind == "decimal":
        try:
            # Thousands separators only where they group by three ("12,5" is refused, not 125).
            grouped = re.fullmatch(r"[+-]?\d{1,3}(,\d{3})+(\.\d*)?", text)
            number = decimal.Decimal(text.replace(",", "") if grouped else text)
        except decimal.InvalidOperation:
            raise Invalid(tr("enter_number")) from None
        if not number.is_finite():
            raise Invalid(tr("enter_number"))
        if column.scale is not None:
            places = -number.as_tuple().exponent if number.as_tuple().exponent < 0 else 0
            if places > column.scale:
                raise Invalid(tr("decimal_places", places=column.scale))
            if column.precision is not None:
                digits = len(str(abs(int(number)))) if int(number) != 0 else 0
                if digits > column.precision - column.scale:
                    raise Invalid(tr("too_many_digits", digits=column.precision - column.scale))
        return number
    if kind == "float":
        try:
            number = float(text)
        except ValueError:
            raise Invalid(tr("enter_number")) from None
        if number != number or number in (float("inf"), float("-inf")):
            raise Invalid(tr("enter_number"))
        return number
    if kind == "bool":
        truth = _truth(text)
        if truth is None:
            raise Invalid(tr("choose_yes_no"))
        return truth
    if kind == "date":
        try:
            return datetime.date.fromisoformat(text[:10] if re.fullmatch(r"\d{4}-\d\d-\d\d[ T]00:00(:00)?", text)
                                               else text)
        except ValueError:
            raise Invalid(tr("enter_date")) from None
    if kind in ("datetime", "datetimetz"):
        try:
            value = datetime.datetime.fromisoformat(text)
        except ValueError:
            raise Invalid(tr("enter_datetime")) from None
        return value
    if kind in ("time", "timetz"):
        try:
            return datetime.time.fromisoformat(text)
        except ValueError:
            raise Invalid(tr("enter_time")) from None
    if kind == "uuid":
        try:
            return str(uuid.UUID(text))
        except ValueError:
            raise Invalid(tr("enter_uuid")) from None
    if kind == "json":
        try:
            json.loads(text)
        except ValueError:
            raise Invalid(tr("enter_json")) from None
        return text
    if "\x00" in text:
        raise Invalid(tr("bad_character"))
    if column.max_chars is not None and len(text) > column.max_chars:
        raise Invalid(tr("max_characters", count=column.max_chars))
    return text


def default_text(column):
    """A plain literal default of the column as form text, or "" when there is none to show."""
    text = column.default.strip()
    if not text:
        return ""
    m = re.fullmatch(r"\(?'((?:[^']|'')*)'\)?(::[\w ]+(\(\d+(,\d+)?\))?)?", text)
    if m:
        return m.group(1).replace("''", "'")
    if column.kind == "bool":
        truth = _truth(text)
        return "" if truth is None else ("1" if truth else "0")
    if column.kind in ("int", "decimal", "float") and re.fullmatch(r"\(?[+-]?\d+(\.\d+)?\)?", text):
        return text.strip("()")
    if column.kind in ("text", "longtext") and not re.search(r"[()]|^[A-Za-z_]+$", text):
        return text
    return ""


def for_database(column, value, dialect):
    """A checked value as the database driver takes it."""
    if value is None:
        return None
    if dialect == "sqlite":
        if isinstance(value, bool):
            return 1 if value else 0
        if isinstance(value, decimal.Decimal):
            return str(value)
        if isinstance(value, datetime.datetime):
            return value.isoformat(sep=" ", timespec="microseconds" if value.microsecond else "seconds")
        if isinstance(value, (datetime.date, datetime.time)):
            return value.isoformat()
        return value
    if isinstance(value, bool) and column.kind != "bool":
        return 1 if value else 0
    return value

"""<ORVE>TX_BASE_MODULE_DOC</ORVE>
"""

from __future__ import annotations

import dataclasses
import datetime
import json
import sqlite3
import sys
from decimal import Decimal
from typing import Any, ClassVar, Generic, Iterable, Optional, TypeVar

<ORVE>TX_BASE_ADAPTERS</ORVE>
sqlite3.register_adapter(Decimal, str)
sqlite3.register_adapter(datetime.time, datetime.time.isoformat)
sqlite3.register_adapter(datetime.timedelta, datetime.timedelta.total_seconds)
sqlite3.register_adapter(list, json.dumps)

T = TypeVar("T")


def _convert(declared: str, value: Any) -> Any:
    """<ORVE>TX_BASE_CONVERT_DOC</ORVE>"""
    if value is None:
        return None
    if "Decimal" in declared:
        return Decimal(str(value))
    if "timedelta" in declared:
        return value if isinstance(value, datetime.timedelta) else datetime.timedelta(seconds=float(value))
    if declared.startswith("list") or declared.startswith("Optional[list"):
        return json.loads(value) if isinstance(value, str) and value.startswith("[") else value
    if "datetime.datetime" in declared:
        return value if isinstance(value, datetime.datetime) else datetime.datetime.fromisoformat(str(value))
    if "datetime.date" in declared:
        return value if isinstance(value, datetime.date) else datetime.date.fromisoformat(str(value)[:10])
    if "datetime.time" in declared:
        if isinstance(value, datetime.timedelta):  <ORVE>TX_BASE_TIME_AS_DURATION</ORVE>
            return (datetime.datetime.min + value).time()
        return value if isinstance(value, datetime.time) else datetime.time.fromisoformat(str(value))
    if "bool" in declared:
        return bool(int(value)) if not isinstance(value, str) else value.strip().lower() in ("1", "true", "t", "yes")
    if "int" in declared:
        return int(value)
    if "float" in declared:
        return float(value)
    return value


def _quote(name: str) -> str:
    return '"' + name.replace('"', '""') + '"'


def _backquote(name: str) -> str:
    return "`" + name.replace("`", "``") + "`"


def _is_mysql(connection: Any) -> bool:
    """<ORVE>TX_BASE_IS_MYSQL_DOC</ORVE>"""
    return type(connection).__module__.split(".")[0] in ("pymysql", "MySQLdb", "mysql", "mariadb")


<ORVE>TX_BASE_PARAM_MARKER</ORVE>
_PARAM = "\x00"


def _percent_style(connection: Any) -> bool:
    """<ORVE>TX_BASE_PERCENT_DOC</ORVE>"""
    module = sys.modules.get(type(connection).__module__.split(".")[0])
    return getattr(module, "paramstyle", "qmark") in ("format", "pyformat")


def _returning(connection: Any) -> bool:
    """<ORVE>TX_BASE_RETURNING_DOC</ORVE>"""
    if isinstance(connection, sqlite3.Connection):
        return sqlite3.sqlite_version_info >= (3, 35, 0)
    if _is_mysql(connection):
        <ORVE>TX_BASE_RETURNING_MARIADB</ORVE>
        info = str(getattr(connection, "get_server_info", lambda: "")())
        if "mariadb" not in info.lower():
            return False
        try:
            return tuple(int(p) for p in info.split("-")[0].split(".")[:2]) >= (10, 5)
        except ValueError:
            return False
    return True


class Repository(Generic[T]):
    """<ORVE>TX_BASE_REPOSITORY_DOC</ORVE>"""

    table: ClassVar[str]
    schema: ClassVar[str] = ""
    name: ClassVar[str] = ""
    record: ClassVar[type]
    <ORVE>TX_BASE_EXTENSION</ORVE>
    extension: ClassVar[str] = ""
    is_view: ClassVar[bool] = False
    <ORVE>TX_BASE_KEY</ORVE>
    key: ClassVar[tuple[str, ...]] = ()
    key_source: ClassVar[str] = ""
    generated_key: ClassVar[bool] = False
    columns: ClassVar[tuple[str, ...]] = ()
    fields: ClassVar[tuple[str, ...]] = ()
    generated: ClassVar[tuple[str, ...]] = ()
    identity: ClassVar[tuple[str, ...]] = ()
    editable: ClassVar[tuple[str, ...]] = ()
    searchable: ClassVar[tuple[str, ...]] = ()
    listed: ClassVar[tuple[str, ...]] = ()
    shown: ClassVar[tuple[str, ...]] = ()
    captions: ClassVar[dict[str, str]] = {}
    choices: ClassVar[dict[str, tuple[tuple[str, str], ...]]] = {}

    def __init__(self, connection: Any) -> None:
        self.connection = connection
        self._percent = _percent_style(connection)
        self._mysql = _is_mysql(connection)
        self._q = _backquote if self._mysql else _quote
        self._attr = dict(zip(self.columns, self.fields or self.columns))
        self._types = {f.name: str(f.type) for f in dataclasses.fields(self.record)}
        if isinstance(connection, sqlite3.Connection) or self._mysql or not self.schema:
            self._from = self._q(self.table)
        else:
            self._from = _quote(self.schema) + "." + _quote(self.name or self.table)

    def _execute(self, sql: str, params: Iterable[Any] = ()) -> Any:
        cursor = self.connection.cursor()
        if self._percent:
            sql = sql.replace("%", "%%").replace(_PARAM, "%s")
        else:
            sql = sql.replace(_PARAM, "?")
        cursor.execute(sql, tuple(params))
        return cursor

    def _value(self, record: T, column: str) -> Any:
        """<ORVE>TX_BASE_VALUE_DOC</ORVE>"""
        attr = self._attr[column]
        value = getattr(record, attr)
        if isinstance(value, (dict, list)) and ("object" in self._types[attr] or self._mysql):
            return json.dumps(value)  <ORVE>TX_BASE_LIST_AS_JSON</ORVE>
        return value

    def _where(self, columns: Iterable[str]) -> str:
        return " AND ".join(self._q(c) + " = " + _PARAM for c in columns)

    <ORVE>TX_BASE_READING</ORVE> ---------------------------------------------------------------------------------

    def _to_record(self, row: Iterable[Any]) -> T:
        values = {}
        for column, value in zip(self.columns, row):
            attr = self._attr[column]
            if self._mysql and isinstance(value, str) and "object" in self._types[attr]:
                value = json.loads(value)  <ORVE>TX_BASE_JSON_AS_TEXT</ORVE>
            if self._mysql and isinstance(value, Decimal) and self._types[attr] in ("str", "Optional[str]"):
                value = str(value)  <ORVE>TX_BASE_MONEY</ORVE>
            values[attr] = _convert(self._types[attr], value)
        return self.record(**values)

    def _select(self) -> str:
        return "SELECT " + ", ".join(self._q(c) for c in self.columns) + " FROM " + self._from

    def list(self, **criteria: Any) -> list[T]:
        """<ORVE>TX_BASE_LIST_DOC</ORVE>"""
        unknown = set(criteria) - set(self.searchable)
        if unknown:
            raise ValueError(f"{self.table}: not searchable: {', '.join(sorted(unknown))}")
        sql = self._select()
        if criteria:
            sql += " WHERE " + self._where(criteria)
        if self.key:
            sql += " ORDER BY " + ", ".join(self._q(c) for c in self.key)
        return [self._to_record(row) for row in self._execute(sql, criteria.values()).fetchall()]

    def get(self, *key: Any) -> Optional[T]:
        """<ORVE>TX_BASE_GET_DOC</ORVE>"""
        if not self.key:
            raise TypeError(f"{self.table} has no key: read its rows with list()")
        if len(key) != len(self.key):
            raise ValueError(f"{self.table}: the key has {len(self.key)} part(s)")
        sql = self._select() + " WHERE " + self._where(self.key)
        row = self._execute(sql, key).fetchone()
        return self._to_record(row) if row is not None else None

    <ORVE>TX_BASE_WRITING</ORVE> ---------------------------------------------------------------------------------

    def _check_writable(self) -> None:
        if self.is_view:
            raise TypeError(f"{self.table} is a view and cannot be written")
        if not self.key:
            <ORVE>TX_BASE_NO_KEY</ORVE>
            raise TypeError(f"{self.table} has no key and is read-only")

    def insert(self, record: T) -> T:
        """<ORVE>TX_BASE_INSERT_DOC</ORVE>"""
        self._check_writable()
        values = {c: self._value(record, c) for c in self.columns
                  if c not in self.generated and self._value(record, c) is not None}
        generated_key = ((self.generated_key or (len(self.key) == 1 and self.key[0] in self.identity))
                         and len(self.key) == 1 and self._value(record, self.key[0]) is None)
        if values:
            sql = (f"INSERT INTO {self._from} (" + ", ".join(self._q(c) for c in values) + ") VALUES (" +
                   ", ".join(_PARAM for _ in values) + ")")
        else:
            sql = f"INSERT INTO {self._from} " + ("() VALUES ()" if self._mysql else "DEFAULT VALUES")
        <ORVE>TX_BASE_READ_BACK</ORVE>
        if _returning(self.connection):
            row = self._execute(sql + " RETURNING " + ", ".join(self._q(c) for c in self.columns),
                                values.values()).fetchone()
            return self._to_record(row)
        cursor = self._execute(sql, values.values())
        if generated_key:
            return dataclasses.replace(record, **{self._attr[self.key[0]]: cursor.lastrowid})
        return record

    def update(self, record: T) -> int:
        """<ORVE>TX_BASE_UPDATE_DOC</ORVE>"""
        self._check_writable()
        changed = [c for c in self.editable if c not in self.key and c not in self.generated]
        if not changed:
            return 0
        sql = (f"UPDATE {self._from} SET " + ", ".join(self._q(c) + " = " + _PARAM for c in changed) + " WHERE " +
               self._where(self.key))
        keys = tuple(self._value(record, c) for c in self.key)
        count = self._execute(sql, tuple(self._value(record, c) for c in changed) + keys).rowcount
        if self._mysql and count == 0:
            <ORVE>TX_BASE_UPDATE_COUNT</ORVE>
            sql = f"SELECT COUNT(*) FROM {self._from} WHERE " + self._where(self.key)
            count = self._execute(sql, keys).fetchone()[0]
        return count

    def delete(self, *key: Any) -> int:
        """<ORVE>TX_BASE_DELETE_DOC</ORVE>"""
        self._check_writable()
        if len(key) != len(self.key):
            raise ValueError(f"{self.table}: the key has {len(self.key)} part(s)")
        sql = f"DELETE FROM {self._from} WHERE " + self._where(self.key)
        return self._execute(sql, key).rowcount

    <ORVE>TX_BASE_PRESENTATION</ORVE> ----------------------------------------------------------------------------

    @classmethod
    def caption(cls, column: str) -> str:
        """<ORVE>TX_BASE_CAPTION_DOC</ORVE>"""
        return cls.captions.get(column, column)

    @classmethod
    def choice_caption(cls, column: str, value: Any) -> str:
        """<ORVE>TX_BASE_CHOICE_DOC</ORVE>"""
        for stored, shown in cls.choices.get(column, ()):
            if stored == str(value):
                return shown
        return "" if value is None else str(value)

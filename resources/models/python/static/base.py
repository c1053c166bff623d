"""Generic repository over a DB-API connection (sqlite3), shared by the generated table modules.

Each generated module declares a dataclass for the table's rows and a Repository subclass that
names the table, its key, its columns and the column lists of the screens (editable, searchable,
listed, shown). Values read from the database are converted to the types the dataclass declares.
"""

from __future__ import annotations

import dataclasses
import datetime
import sqlite3
from decimal import Decimal
from typing import Any, ClassVar, Generic, Iterable, Optional, TypeVar

# sqlite3 cannot bind Decimal values by itself; store them as exact text.
sqlite3.register_adapter(Decimal, str)

T = TypeVar("T")


def _convert(declared: str, value: Any) -> Any:
    """Turns a database value into the type named by a field annotation (given as text)."""
    if value is None:
        return None
    if "Decimal" in declared:
        return Decimal(str(value))
    if "datetime.datetime" in declared:
        return value if isinstance(value, datetime.datetime) else datetime.datetime.fromisoformat(str(value))
    if "datetime.date" in declared:
        return value if isinstance(value, datetime.date) else datetime.date.fromisoformat(str(value)[:10])
    if "datetime.time" in declared:
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


class Repository(Generic[T]):
    """Reads and writes the rows of one table as dataclass records."""

    table: ClassVar[str]
    record: ClassVar[type]
    is_view: ClassVar[bool] = False
    key: ClassVar[tuple[str, ...]] = ()
    generated_key: ClassVar[bool] = False
    columns: ClassVar[tuple[str, ...]] = ()
    editable: ClassVar[tuple[str, ...]] = ()
    searchable: ClassVar[tuple[str, ...]] = ()
    listed: ClassVar[tuple[str, ...]] = ()
    shown: ClassVar[tuple[str, ...]] = ()
    captions: ClassVar[dict[str, str]] = {}
    choices: ClassVar[dict[str, tuple[tuple[str, str], ...]]] = {}

    def __init__(self, connection: sqlite3.Connection) -> None:
        self.connection = connection

    # Reading ---------------------------------------------------------------------------------

    def _to_record(self, row: Iterable[Any]) -> T:
        types = {f.name: str(f.type) for f in dataclasses.fields(self.record)}
        values = {name: _convert(types[name], value) for name, value in zip(self.columns, row)}
        return self.record(**values)

    def _select(self) -> str:
        return "SELECT " + ", ".join(_quote(c) for c in self.columns) + " FROM " + _quote(self.table)

    def list(self, **criteria: Any) -> list[T]:
        """All rows, or those whose searchable columns equal the given values."""
        unknown = set(criteria) - set(self.searchable)
        if unknown:
            raise ValueError(f"{self.table}: not searchable: {', '.join(sorted(unknown))}")
        sql = self._select()
        if criteria:
            sql += " WHERE " + " AND ".join(_quote(c) + " = ?" for c in criteria)
        sql += " ORDER BY " + ", ".join(_quote(c) for c in self.key)
        return [self._to_record(row) for row in self.connection.execute(sql, tuple(criteria.values()))]

    def get(self, *key: Any) -> Optional[T]:
        """The row with the given key values (in the order of `key`), or None."""
        if len(key) != len(self.key):
            raise ValueError(f"{self.table}: the key has {len(self.key)} part(s)")
        sql = self._select() + " WHERE " + " AND ".join(_quote(c) + " = ?" for c in self.key)
        row = self.connection.execute(sql, key).fetchone()
        return self._to_record(row) if row is not None else None

    # Writing ---------------------------------------------------------------------------------

    def _check_writable(self) -> None:
        if self.is_view:
            raise TypeError(f"{self.table} is a view and cannot be written")

    def insert(self, record: T) -> T:
        """Inserts the record; fields left as None take the database's default (or generated key)."""
        self._check_writable()
        values = {c: getattr(record, c) for c in self.columns if getattr(record, c) is not None}
        sql = (f"INSERT INTO {_quote(self.table)} (" + ", ".join(_quote(c) for c in values) + ") VALUES (" +
               ", ".join("?" for _ in values) + ")")
        cursor = self.connection.execute(sql, tuple(values.values()))
        if self.generated_key and len(self.key) == 1 and getattr(record, self.key[0]) is None:
            return dataclasses.replace(record, **{self.key[0]: cursor.lastrowid})
        return record

    def update(self, record: T) -> int:
        """Writes the editable columns of the record to the row with its key; the number of rows changed."""
        self._check_writable()
        changed = [c for c in self.editable if c not in self.key]
        if not changed:
            return 0
        sql = (f"UPDATE {_quote(self.table)} SET " + ", ".join(_quote(c) + " = ?" for c in changed) + " WHERE " +
               " AND ".join(_quote(c) + " = ?" for c in self.key))
        params = tuple(getattr(record, c) for c in changed) + tuple(getattr(record, c) for c in self.key)
        return self.connection.execute(sql, params).rowcount

    def delete(self, *key: Any) -> int:
        """Deletes the row with the given key values; the number of rows deleted."""
        self._check_writable()
        sql = f"DELETE FROM {_quote(self.table)} WHERE " + " AND ".join(_quote(c) + " = ?" for c in self.key)
        return self.connection.execute(sql, key).rowcount

    # Presentation ----------------------------------------------------------------------------

    @classmethod
    def caption(cls, column: str) -> str:
        """The display caption of a column (its name when none was entered)."""
        return cls.captions.get(column, column)

    @classmethod
    def choice_caption(cls, column: str, value: Any) -> str:
        """The caption of a coded value, or the value itself as text."""
        for stored, shown in cls.choices.get(column, ()):
            if stored == str(value):
                return shown
        return "" if value is None else str(value)

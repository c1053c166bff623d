-- The tables and views of the connected database (the others on the server are not the
-- user's): the database, name, type (BASE TABLE, VIEW, ...), comment.
select database(), table_name, table_type, coalesce(table_comment, '')
from information_schema.tables
where table_schema = database()

-- The CHECK constraints of the user's tables: schema, table, constraint name, its definition as
-- the database writes it ("CHECK (...)", possibly followed by NOT VALID).
-- Parameters: schema, schema, table, table (an empty schema or table means every one).
select n.nspname, c.relname, con.conname, pg_catalog.pg_get_constraintdef(con.oid, true)
from pg_catalog.pg_constraint con
join pg_catalog.pg_class c on c.oid = con.conrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
where con.contype = 'c' and con.conislocal
  and n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
  and (? = '' or n.nspname = ?) and (? = '' or c.relname = ?)
order by n.nspname, c.relname, con.conname

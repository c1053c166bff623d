-- The columns of the tables in table and column order: schema, table, column, the kind of column
-- as the driver sees it ("type modifier flags", flags n = NOT NULL, i = identity, g = generated,
-- e/d/a = enum, domain or array, c = commented, - where not), the default or generation
-- expression, the type in the database's own words, and the built-in type beneath a domain or enum.
-- Parameters: schemas, schemas, table, table. The schemas are one text, separated by the character
-- 31; empty means every schema of the user's, an empty table every table of those schemas.
select n.nspname, c.relname, a.attname,
       a.atttypid || ' ' || a.atttypmod || ' ' ||
       case when a.attnotnull then 'n' else '-' end ||
       case when a.attidentity <> '' then 'i' else '-' end ||
       case when a.attgenerated <> '' then 'g' else '-' end ||
       case when t.typtype = 'e' then 'e' when t.typtype = 'd' then 'd' when t.typcategory = 'A' then 'a' else '-' end ||
       case when pg_catalog.col_description(c.oid, a.attnum) is null then '-' else 'c' end,
       pg_catalog.pg_get_expr(d.adbin, d.adrelid), pg_catalog.format_type(a.atttypid, a.atttypmod),
       case t.typtype when 'd' then pg_catalog.format_type(t.typbasetype, t.typtypmod) when 'e' then 'text' end
from pg_catalog.pg_attribute a
join pg_catalog.pg_class c on c.oid = a.attrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_type t on t.oid = a.atttypid
left join pg_catalog.pg_attrdef d on a.atthasdef and d.adrelid = a.attrelid and d.adnum = a.attnum
where a.attnum > 0 and not a.attisdropped and c.relkind in ('r', 'v', 'm', 'p', 'f')
  and case when ? = '' then n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
           else n.nspname = any(pg_catalog.string_to_array(?, chr(31))) end
  and (? = '' or c.relname = ?)
order by n.nspname, c.relname, a.attnum

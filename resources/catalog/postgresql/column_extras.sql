-- What the database says of the columns beyond the driver's catalog: schema, table, column, the
-- type in its own words, the built-in type beneath it (a domain's base, text for an enum), the kind
-- (enum, domain, array or empty), identity or serial ('1'), generated ('1'), generation expression.
-- Parameters: schemas, schemas, table, table. The schemas are one text, separated by the character
-- 31; empty means every schema of the user's, an empty table every table of those schemas.
select n.nspname, c.relname, a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod),
       case t.typtype when 'd' then pg_catalog.format_type(t.typbasetype, t.typtypmod) when 'e' then 'text'
            else pg_catalog.format_type(a.atttypid, a.atttypmod) end,
       case when t.typtype = 'e' then 'enum' when t.typtype = 'd' then 'domain'
            when t.typcategory = 'A' then 'array' else '' end,
       case when a.attidentity <> '' then '1'
            when a.attgenerated = '' and pg_catalog.pg_get_expr(d.adbin, d.adrelid) like 'nextval(%' then '1'
            else '0' end,
       case when a.attgenerated <> '' then '1' else '0' end,
       case when a.attgenerated <> '' then pg_catalog.pg_get_expr(d.adbin, d.adrelid) else '' end
from pg_catalog.pg_attribute a
join pg_catalog.pg_class c on c.oid = a.attrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_type t on t.oid = a.atttypid
left join pg_catalog.pg_attrdef d on d.adrelid = a.attrelid and d.adnum = a.attnum
where a.attnum > 0 and not a.attisdropped and c.relkind in ('r', 'v', 'm', 'p', 'f')
  and case when ? = '' then n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
           else n.nspname = any(pg_catalog.string_to_array(?, chr(31))) end
  and (? = '' or c.relname = ?)

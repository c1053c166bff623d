-- The labels of the enum-typed columns of one table (an array of an enum counts as well; a domain
-- over an enum too), in the enum's own order: schema, table, column, label.
-- Parameters: schema, schema, table, table (an empty schema or table means every one).
select n.nspname, c.relname, a.attname, e.enumlabel
from pg_catalog.pg_attribute a
join pg_catalog.pg_class c on c.oid = a.attrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_type t on t.oid = a.atttypid
join pg_catalog.pg_enum e on e.enumtypid = case
    when t.typtype = 'e' then t.oid
    when t.typelem <> 0 then t.typelem
    else t.typbasetype end
where a.attnum > 0 and not a.attisdropped and (? = '' or n.nspname = ?) and (? = '' or c.relname = ?)
  and n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
order by n.nspname, c.relname, a.attnum, e.enumsortorder

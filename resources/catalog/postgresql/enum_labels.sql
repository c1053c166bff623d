-- The labels of the enum-typed columns of one table (an array of an enum counts as well; a domain
-- over an enum too), in the enum's own order: column, label.
-- Parameters: schema, table.
select a.attname, e.enumlabel
from pg_catalog.pg_attribute a
join pg_catalog.pg_class c on c.oid = a.attrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_type t on t.oid = a.atttypid
join pg_catalog.pg_enum e on e.enumtypid = case
    when t.typtype = 'e' then t.oid
    when t.typelem <> 0 then t.typelem
    else t.typbasetype end
where a.attnum > 0 and not a.attisdropped and n.nspname = ? and c.relname = ?
order by a.attnum, e.enumsortorder

-- The columns of one table whose type the program does not know: a type (or an array's element
-- type) that an extension installed, or a base type made outside the system catalog. Schema,
-- table, column, extension (empty when the type belongs to none).
-- Parameters: schema, schema, table, table (an empty schema or table means every one).
select n.nspname, c.relname, a.attname, coalesce((select x.extname from pg_catalog.pg_depend d
                            join pg_catalog.pg_extension x on x.oid = d.refobjid
                            where d.classid = 'pg_catalog.pg_type'::regclass and d.objid = b.oid
                              and d.refclassid = 'pg_catalog.pg_extension'::regclass and d.deptype = 'e'
                            limit 1), '')
from pg_catalog.pg_attribute a
join pg_catalog.pg_class c on c.oid = a.attrelid
join pg_catalog.pg_namespace n on n.oid = c.relnamespace
join pg_catalog.pg_type t on t.oid = a.atttypid
join pg_catalog.pg_type b on b.oid = case when t.typcategory = 'A' and t.typelem <> 0 then t.typelem else t.oid end
where a.attnum > 0 and not a.attisdropped and (? = '' or n.nspname = ?) and (? = '' or c.relname = ?)
  and n.nspname not in ('pg_catalog', 'information_schema') and n.nspname not like 'pg\_toast%'
  and b.typtype = 'b' and b.typnamespace <> 'pg_catalog'::regnamespace
order by n.nspname, c.relname, a.attnum

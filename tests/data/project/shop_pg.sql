-- A retail schema the way real databases grow: several schemas, composite and overlapping keys,
-- domains, enums, arrays, identity and serial keys, quoted and reserved names, Chinese comments.
create schema sales;
create schema "Inventory";
create type mood as enum ('happy', 'sad', 'neutral');
create domain email_address as varchar(120) check (value like '%@%');
create domain positive_money as numeric(12,4) check (value >= 0);

create table public.country (
    country_id serial primary key,
    code char(2) not null unique,
    name varchar(80) not null,
    last_update timestamptz not null default now()
);
comment on table public.country is '国家';
comment on column public.country.name is '国家名称';

create table public.city (
    city_id integer generated always as identity primary key,
    name text not null,
    country_id integer not null references public.country(country_id),
    population bigint,
    area_km2 numeric(12,4) default 0.0000,
    "user" varchar(30) default 'admin',
    "order" smallint default 1
);
comment on column public.city."user" is '创建人';

create table public.customer (
    customer_id uuid primary key default gen_random_uuid(),
    first_name varchar(45) not null,
    last_name varchar(45) not null,
    email email_address,
    active boolean not null default true,
    mood mood default 'neutral',
    tags text[] default '{}',
    profile jsonb,
    avatar bytea,
    balance positive_money,
    created date not null default current_date,
    wake_time time,
    home_city integer references public.city(city_id) on delete set null,
    notes text,
    rating real,
    score double precision,
    small_note varchar(100),
    big_note varchar(101),
    "MixedCase" integer,
    "select" varchar(10),
    ip inet,
    money_col money,
    flags bit(8),
    interval_col interval
);
comment on table public.customer is '客户表';
comment on column public.customer.first_name is '名';

create table sales."OrderHeader" (
    "OrderId" bigserial,
    "StoreNo" integer not null,
    customer_id uuid not null references public.customer(customer_id),
    ordered_at timestamp(3) not null default current_timestamp,
    total numeric(14,2) default 0,
    status varchar(12) not null default 'NEW',
    primary key ("StoreNo", "OrderId")
);
comment on table sales."OrderHeader" is '订单头';

create table sales.order_line (
    store_no integer not null,
    order_id bigint not null,
    line_no smallint not null,
    product_code varchar(20) not null,
    warehouse_code varchar(20) not null,
    qty numeric(10,3) not null check (qty > 0),
    unit_price numeric(12,4) not null,
    primary key (store_no, order_id, line_no),
    foreign key (store_no, order_id) references sales."OrderHeader"("StoreNo", "OrderId")
);

create table "Inventory".product (
    product_code varchar(20) primary key,
    description text,
    weight_kg numeric,
    discontinued boolean default false
);
create table "Inventory".stock (
    product_code varchar(20) not null references "Inventory".product(product_code),
    warehouse_code varchar(20) not null,
    on_hand integer not null default 0,
    primary key (product_code, warehouse_code)
);
-- product_code of order_line sits in two foreign keys
alter table sales.order_line add constraint fk_line_product foreign key (product_code) references "Inventory".product(product_code);
alter table sales.order_line add constraint fk_line_stock foreign key (product_code, warehouse_code) references "Inventory".stock(product_code, warehouse_code);

create table public.audit_log (
    at timestamptz default now(),
    who text,
    what jsonb,
    "desc" text
);
comment on table public.audit_log is '审计日志（无主键）';

create view public.customer_list as
  select c.customer_id, c.first_name || ' ' || c.last_name as full_name, ci.name as city
  from public.customer c left join public.city ci on ci.city_id = c.home_city;
comment on view public.customer_list is '客户列表视图';
create materialized view public.city_counts as select country_id, count(*) as n from public.city group by country_id;

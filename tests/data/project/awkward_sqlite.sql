-- Awkward shapes for the SQLite import: quoted names with spaces, reserved words and mixed case,
-- the rowid alias with and without AUTOINCREMENT, stored and virtual generated columns, and
-- composite, self-referencing and cyclic foreign keys.
create table orders (order_id INTEGER PRIMARY KEY, placed text default current_timestamp, amount numeric(10,2));
create table "Order Line" (
    "Line Id" integer primary key autoincrement,
    "order" integer not null references orders (order_id),
    "zip code" VARCHAR(10),
    MixedCase smallint default 1
);
create table region_order (region char(2) not null, order_no integer not null, note, primary key (region, order_no));
create table shipment (
    id bigint primary key,
    region char(2),
    order_no integer,
    constraint shipment_order_fk foreign key (region, order_no) references region_order (region, order_no)
);
create table employee (
    id integer primary key,
    boss_id integer references employee (id),
    department_id integer references department (id),
    first_name varchar(40) not null,
    last_name varchar(40) not null,
    full_name text generated always as (first_name || ' ' || last_name) stored,
    initials text as (substr(first_name, 1, 1) || substr(last_name, 1, 1)) virtual,
    nickname,
    badge as (id * 10) virtual
);
create table department (id integer primary key, head_id integer references employee (id), name text not null);
create view order_totals as select "order", count(*) as lines from "Order Line" group by "order";
create table account (
    id integer primary key,
    email text not null unique,
    tenant integer not null default 1 check (tenant > 0),
    nick varchar(30) not null default '',
    note text
);
create unique index account_tenant_lower_email on account (tenant, lower(email));
create index account_active_tenant on account (tenant desc) where tenant > 1;
create table membership (
    role text not null default '',
    account_email text not null references account (email),
    grp integer not null,
    primary key (grp, account_email)
);
create table event_log (message text not null default '', level varchar(10));

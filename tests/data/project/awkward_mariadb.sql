-- Awkward shapes on MariaDB: the shapes the other systems' scripts share (account, membership,
-- event_log, a composite key referenced as one foreign key) and every kind of column the server has.
create table account (
    id int not null auto_increment primary key,
    email varchar(100) not null unique,
    tenant int not null default 1 check (tenant > 0),
    nick varchar(30) not null default '',
    note text comment 'free text'
) comment 'people who sign in';
create index account_active_tenant on account (tenant desc);
create table membership (
    role varchar(20) not null default '',
    account_email varchar(100) not null,
    grp int not null,
    primary key (grp, account_email),
    constraint membership_account foreign key (account_email) references account (email)
);
create table event_log (message varchar(200) not null default '', level varchar(10));
create table region_order (region char(2) not null, order_no int not null, primary key (region, order_no));
create table shipment (
    id bigint unsigned not null auto_increment primary key,
    region char(2),
    order_no int,
    constraint shipment_order foreign key (region, order_no) references region_order (region, order_no)
        on delete set null on update cascade
);
create table all_kinds (
    flag tinyint(1) not null default 0,
    tiny tinyint unsigned,
    small smallint not null,
    med mediumint unsigned,
    big bigint unsigned,
    price decimal(12,3) default 0.000,
    f float,
    d double,
    c char(3) default 'ab',
    vc varchar(40) default 'it''s',
    tt tinytext,
    lt longtext,
    kind enum('new','it''s','done') not null default 'new',
    tags set('a','b'),
    doc json,
    bits bit(5),
    one_bit bit(1),
    d1 date,
    dt datetime default current_timestamp,
    ts timestamp not null default current_timestamp on update current_timestamp,
    tm time,
    yr year,
    bin binary(4),
    vb varbinary(8),
    bl blob,
    twice int as (small * 2) virtual,
    primary key (small)
);
create view account_names as select email from account;

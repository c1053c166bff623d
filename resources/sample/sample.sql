-- Sample database for Quorvin: a small order-management schema.
-- Valid for sqlite3 and, apart from the PRAGMA line, for PostgreSQL.
-- shipment_items.order_id takes part in two foreign keys (to orders and to order_items).
PRAGMA foreign_keys = ON;

CREATE TABLE categories (
    category_id   INTEGER      NOT NULL PRIMARY KEY,
    name          VARCHAR(50)  NOT NULL,
    parent_id     INTEGER      NULL REFERENCES categories (category_id),
    sort_order    INTEGER      NOT NULL DEFAULT 0,
    description   TEXT         NULL
);

CREATE TABLE suppliers (
    supplier_id   INTEGER      NOT NULL PRIMARY KEY,
    name          VARCHAR(100) NOT NULL,
    contact_name  VARCHAR(50)  NULL,
    phone         VARCHAR(30)  NULL,
    email         VARCHAR(120) NULL,
    address       TEXT         NULL,
    active        BOOLEAN      NOT NULL DEFAULT TRUE
);

CREATE TABLE products (
    product_id    INTEGER       NOT NULL PRIMARY KEY,
    sku           VARCHAR(20)   NOT NULL UNIQUE,
    name          VARCHAR(100)  NOT NULL,
    category_id   INTEGER       NOT NULL REFERENCES categories (category_id),
    supplier_id   INTEGER       NULL REFERENCES suppliers (supplier_id),
    unit_price    NUMERIC(10,2) NOT NULL DEFAULT 0,
    stock_qty     INTEGER       NOT NULL DEFAULT 0,
    discontinued  BOOLEAN       NOT NULL DEFAULT FALSE,
    created_on    DATE          NULL,
    description   TEXT          NULL
);

CREATE TABLE customers (
    customer_id   INTEGER       NOT NULL PRIMARY KEY,
    name          VARCHAR(100)  NOT NULL,
    email         VARCHAR(120)  NULL,
    phone         VARCHAR(30)   NULL,
    city          VARCHAR(50)   NULL,
    credit_limit  NUMERIC(12,2) NULL DEFAULT 5000,
    vip           BOOLEAN       NOT NULL DEFAULT FALSE,
    registered_on DATE          NOT NULL,
    notes         TEXT          NULL
);

CREATE TABLE employees (
    employee_id   INTEGER       NOT NULL PRIMARY KEY,
    name          VARCHAR(50)   NOT NULL,
    title         VARCHAR(50)   NULL,
    manager_id    INTEGER       NULL REFERENCES employees (employee_id),
    hire_date     DATE          NOT NULL,
    salary        NUMERIC(10,2) NULL,
    active        BOOLEAN       NOT NULL DEFAULT TRUE
);

CREATE TABLE orders (
    order_id      INTEGER       NOT NULL PRIMARY KEY,
    customer_id   INTEGER       NOT NULL REFERENCES customers (customer_id),
    employee_id   INTEGER       NULL REFERENCES employees (employee_id),
    order_date    DATE          NOT NULL,
    required_date DATE          NULL,
    status        VARCHAR(20)   NOT NULL DEFAULT 'NEW',
    total_amount  NUMERIC(12,2) NOT NULL DEFAULT 0,
    remarks       TEXT          NULL
);

CREATE TABLE order_items (
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    line_no       INTEGER       NOT NULL,
    product_id    INTEGER       NOT NULL REFERENCES products (product_id),
    quantity      INTEGER       NOT NULL DEFAULT 1,
    unit_price    NUMERIC(10,2) NOT NULL,
    discount      NUMERIC(5,2)  NOT NULL DEFAULT 0,
    PRIMARY KEY (order_id, line_no)
);

CREATE TABLE shipments (
    shipment_id   INTEGER       NOT NULL PRIMARY KEY,
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    shipped_on    DATE          NULL,
    carrier       VARCHAR(40)   NULL,
    tracking_no   VARCHAR(40)   NULL,
    delivered     BOOLEAN       NOT NULL DEFAULT FALSE
);

CREATE TABLE shipment_items (
    shipment_id   INTEGER       NOT NULL REFERENCES shipments (shipment_id),
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    line_no       INTEGER       NOT NULL,
    quantity      INTEGER       NOT NULL DEFAULT 1,
    PRIMARY KEY (shipment_id, order_id, line_no),
    FOREIGN KEY (order_id, line_no) REFERENCES order_items (order_id, line_no)
);

CREATE TABLE payments (
    payment_id    INTEGER       NOT NULL PRIMARY KEY,
    order_id      INTEGER       NOT NULL REFERENCES orders (order_id),
    paid_on       DATE          NOT NULL,
    amount        NUMERIC(12,2) NOT NULL,
    method        VARCHAR(20)   NOT NULL DEFAULT 'CASH',
    confirmed     BOOLEAN       NOT NULL DEFAULT FALSE,
    note          VARCHAR(200)  NULL
);

CREATE VIEW v_order_totals AS
    SELECT o.order_id, c.name AS customer_name, o.order_date,
           SUM(i.quantity * i.unit_price - i.discount) AS items_total
      FROM orders o
      JOIN customers c ON c.customer_id = o.customer_id
      LEFT JOIN order_items i ON i.order_id = o.order_id
     GROUP BY o.order_id, c.name, o.order_date;

INSERT INTO categories (category_id, name, parent_id, sort_order, description) VALUES
    (1, '办公用品', NULL, 1, 'Paper, pens and everything for the desk'),
    (2, '纸张', 1, 1, NULL),
    (3, 'Electronics', NULL, 2, 'Small devices, cables and accessories'),
    (4, 'Cables', 3, 1, 'USB, HDMI and network cables');

INSERT INTO suppliers (supplier_id, name, contact_name, phone, email, address, active) VALUES
    (1, '华北纸业有限公司', '王强', '010-5550101', 'sales@huabei-paper.example', '北京市朝阳区建国路 88 号', TRUE),
    (2, 'Northwind Components', 'Anne O''Neil', '+44 20 7946 0000', 'anne@northwind.example', NULL, TRUE),
    (3, 'Old Trading Co.', NULL, NULL, NULL, NULL, FALSE);

INSERT INTO products (product_id, sku, name, category_id, supplier_id, unit_price, stock_qty, discontinued, created_on, description) VALUES
    (1, 'PAP-A4-500', 'A4 复印纸 500 张', 2, 1, 24.50, 320, FALSE, '2023-03-01', '80 g/m², white'),
    (2, 'PEN-BLK-12', 'Gel pen, black, box of 12', 1, NULL, 18.00, 75, FALSE, '2023-03-01', NULL),
    (3, 'USB-C-2M', 'USB-C cable 2 m', 4, 2, 9.90, 540, FALSE, '2023-05-12', 'Braided, 60 W'),
    (4, 'HDMI-1M', 'HDMI cable 1 m', 4, 2, 6.75, 0, TRUE, '2021-11-20', NULL),
    (5, 'MOUSE-W', 'Wireless mouse', 3, 2, 59.00, 42, FALSE, '2024-01-08', NULL);

INSERT INTO customers (customer_id, name, email, phone, city, credit_limit, vip, registered_on, notes) VALUES
    (1, '上海明达贸易', 'buyer@mingda.example', '021-6222 1000', '上海', 20000.00, TRUE, '2022-06-15', '月结 30 天'),
    (2, 'Baker & Sons', 'orders@bakersons.example', NULL, 'Leeds', 5000.00, FALSE, '2023-09-02', NULL),
    (3, 'Li Wei', NULL, '13800000000', NULL, NULL, FALSE, '2024-02-29', 'Walk-in customer; prefers "cash"');

INSERT INTO employees (employee_id, name, title, manager_id, hire_date, salary, active) VALUES
    (1, '张敏', '销售经理', NULL, '2019-04-01', 18000.00, TRUE),
    (2, 'Tom Becker', 'Sales representative', 1, '2021-07-19', 9500.00, TRUE),
    (3, '刘洋', '仓库主管', 1, '2020-01-06', NULL, FALSE);

INSERT INTO orders (order_id, customer_id, employee_id, order_date, required_date, status, total_amount, remarks) VALUES
    (1001, 1, 2, '2024-03-04', '2024-03-11', 'SHIPPED', 1025.80, '请在工作日送货'),
    (1002, 2, 2, '2024-03-06', NULL, 'NEW', 118.00, NULL),
    (1003, 3, NULL, '2024-03-07', NULL, 'PAID', 19.80, NULL);

INSERT INTO order_items (order_id, line_no, product_id, quantity, unit_price, discount) VALUES
    (1001, 1, 1, 40, 24.50, 0),
    (1001, 2, 3, 5, 9.90, 4.70),
    (1002, 1, 5, 2, 59.00, 0),
    (1003, 1, 3, 2, 9.90, 0);

INSERT INTO shipments (shipment_id, order_id, shipped_on, carrier, tracking_no, delivered) VALUES
    (1, 1001, '2024-03-05', '顺丰速运', 'SF1234567890', TRUE),
    (2, 1001, '2024-03-08', 'SF Express', 'SF1234567999', FALSE);

INSERT INTO shipment_items (shipment_id, order_id, line_no, quantity) VALUES
    (1, 1001, 1, 40),
    (1, 1001, 2, 3),
    (2, 1001, 2, 2);

INSERT INTO payments (payment_id, order_id, paid_on, amount, method, confirmed, note) VALUES
    (1, 1001, '2024-03-05', 1025.80, 'TRANSFER', TRUE, NULL),
    (2, 1003, '2024-03-07', 19.80, 'CASH', TRUE, '现金');

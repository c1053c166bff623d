"""The fixed part of the application: database access, values, forms and the web pages."""

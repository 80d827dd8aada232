"""Checkout: the form, the price table, the terms and placing the order."""

ADD_TWO_ITEMS = """
navigate "products.html"
click "Add to cart" below "Trail Backpack"
click "Add to cart" below "Bike Light"
"""


def test_fill_in_the_checkout_form(agent):
    agent.run(ADD_TWO_ITEMS)
    agent.run('navigate "cart.html"')
    agent.run("click Checkout")
    agent.run('type Jane into "First Name"')
    agent.run('type Doe into the field below "Last Name"')
    agent.run('type 10115 into "Postal Code"')
    agent.run('type jane@example.com into "Email"')
    agent.run('select Canada from "Country"')
    agent.run("click the Continue button")
    agent.run('verify text "Checkout: overview" is visible')


def test_a_missing_field_is_named(agent):
    agent.run('navigate "checkout.html"')
    agent.run('type Jane into "First Name"')
    agent.run("click Continue")
    agent.run('verify text "Last Name is required" is visible')


def test_the_price_table_adds_up(agent):
    agent.run(ADD_TWO_ITEMS)
    agent.run('navigate "overview.html"')
    agent.run('verify text next to "Subtotal" is $39.98')
    agent.run("verify text right of Tax is $3.20")
    assert agent.run('extract text right of "Total"') == "$43.18"
    assert agent.run('extract text below "Price"') == "$29.99"
    agent.run("find exact text Total")


def test_the_order_needs_the_terms(agent):
    agent.run(ADD_TWO_ITEMS)
    agent.run('navigate "overview.html"')
    agent.run('verify "Place order" is disabled')
    agent.run('click "I accept the terms"')
    agent.run('verify "Place order" is enabled')
    agent.run('click "Place order"')
    agent.run('verify text "Thank you for your order!" is visible')
    agent.run('verify text "$43.18" is present')

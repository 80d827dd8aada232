from playwright.sync_api import expect


def _add_two_items(page, shop):
    page.goto(shop("products.html"))
    for product in ("Trail Backpack", "Bike Light"):
        item = page.locator("li.product", has_text=product)
        item.get_by_role("button", name="Add to cart").click()


def test_fill_in_the_checkout_form(page, shop):
    _add_two_items(page, shop)
    page.goto(shop("cart.html"))
    page.get_by_role("button", name="Checkout").click()
    page.get_by_label("First Name").fill("Jane")
    page.get_by_label("Last Name").fill("Doe")
    page.locator(".field", has_text="Postal Code").get_by_role("textbox").fill("10115")
    page.get_by_label("Email").fill("jane@example.com")
    page.get_by_label("Country").select_option(label="Canada")
    page.get_by_role("button", name="Continue").click()
    expect(page.get_by_text("Checkout: overview")).to_be_visible()


def test_a_missing_field_is_named(page, shop):
    page.goto(shop("checkout.html"))
    page.get_by_label("First Name").fill("Jane")
    page.get_by_role("button", name="Continue").click()
    expect(page.get_by_text("Last Name is required")).to_be_visible()


def test_the_price_table_adds_up(page, shop):
    _add_two_items(page, shop)
    page.goto(shop("overview.html"))
    expect(page.get_by_role("row", name="Subtotal").get_by_role("cell").last).to_have_text("$39.98")
    expect(page.get_by_role("row", name="Tax").get_by_role("cell").last).to_have_text("$3.20")
    assert page.get_by_role("row", name="Total").get_by_role("cell").last.inner_text() == "$43.18"
    assert page.locator("#price-rows td").nth(2).inner_text() == "$29.99"
    expect(page.get_by_text("Total", exact=True)).to_have_count(1)


def test_the_order_needs_the_terms(page, shop):
    _add_two_items(page, shop)
    page.goto(shop("overview.html"))
    expect(page.get_by_role("button", name="Place order")).to_be_disabled()
    page.get_by_label("I accept the terms").check()
    expect(page.get_by_role("button", name="Place order")).to_be_enabled()
    page.get_by_role("button", name="Place order").click()
    expect(page.get_by_text("Thank you for your order!")).to_be_visible()
    expect(page.get_by_text("$43.18")).to_have_count(1)

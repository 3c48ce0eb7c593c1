/** Enters the trap; the line after it must never appear. */
public final class VendroskelMain {
    private VendroskelMain() {}

    public static void main(String[] args) {
        new TestVendroskel().testVendroskel();
        System.out.println("testVendroskel returned");
    }
}
